#ifndef OUTPUTDIRECTORY_H
#define OUTPUTDIRECTORY_H

#include <QDir>
#include <QString>

#include <cstdio>
#include <optional>

// The folder a screenshot program writes into, its one argument; none, with
// the usage on stderr, when it was not given.
inline std::optional<QDir> outputDirectory(int argc, char *argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <output directory>\n", argv[0]);
        return std::nullopt;
    }
    return QDir(QString::fromLocal8Bit(argv[1]));
}

#endif // OUTPUTDIRECTORY_H
