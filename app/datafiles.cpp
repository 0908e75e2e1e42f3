#include "datafiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>

#ifndef IMU_DATA_DIR_FROM_BIN
#error "IMU_DATA_DIR_FROM_BIN must name the data folder relative to the program's folder"
#endif

namespace {

// A file that is there but no image (empty, cut short, a folder) must not
// hide the installed logo.
bool readableImage(const QString &path)
{
    return !path.isEmpty() && !QImageReader(path).read().isNull();
}

} // namespace

QString chooseLogo(const QString &workingDirectory, const QString &installedLogo)
{
    const QString local = QDir(workingDirectory).filePath(QStringLiteral("logo.png"));
    if (readableImage(local))
        return local;
    if (readableImage(installedLogo))
        return installedLogo;
    return {};
}

QString chooseReadme(const QString &workingDirectory, const QString &installedReadme)
{
    for (const QString &path : {QDir(workingDirectory).filePath(QStringLiteral("readme.txt")), installedReadme}) {
        const QFileInfo file(path);
        if (!path.isEmpty() && file.isFile() && file.isReadable())
            return file.absoluteFilePath();
    }
    return {};
}

QString installedDataPath(const QString &name)
{
    const QDir programDir(QCoreApplication::applicationDirPath());
    return QDir::cleanPath(programDir.filePath(QStringLiteral(IMU_DATA_DIR_FROM_BIN "/") + name));
}
