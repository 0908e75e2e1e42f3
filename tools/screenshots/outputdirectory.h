#ifndef OUTPUTDIRECTORY_H
#define OUTPUTDIRECTORY_H

#include <QDir>
#include <QString>

#include <cstdio>
#include <cstdlib>

// The folder a screenshot program writes into, its one argument. Without it
// the program ends with the usage on stderr.
inline QDir outputDirectory(int argc, char *argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <output directory>\n", argv[0]);
        std::exit(2);
    }
    return QDir(QString::fromLocal8Bit(argv[1]));
}

#endif // OUTPUTDIRECTORY_H
