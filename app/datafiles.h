#ifndef DATAFILES_H
#define DATAFILES_H

#include <QString>

// Where the Help boxes find the program's own files: the picture of the
// About box and the readme that the Readme box names. A file in the working
// directory comes first (a run from the source tree, which holds both, or a
// logo of the user's own); then the installed copy.

// logo.png in workingDirectory when it holds a readable image, else
// installedLogo when that is readable; empty when neither is.
QString chooseLogo(const QString &workingDirectory, const QString &installedLogo);

// readme.txt in workingDirectory when it is a readable file, else
// installedReadme when that is; empty when neither is.
QString chooseReadme(const QString &workingDirectory, const QString &installedReadme);

// Where the package installs a file of the program's: share/imu-monitor/
// beside the bin/ folder the program runs from, so an installed copy finds
// it wherever the package put it, and a program in a build tree finds none.
QString installedDataPath(const QString &name);

#endif // DATAFILES_H
