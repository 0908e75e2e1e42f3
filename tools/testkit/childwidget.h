#ifndef CHILDWIDGET_H
#define CHILDWIDGET_H

#include "testfailure.h"

#include <QObject>
#include <QString>

// The child of parent with the given object name. When there is none, the
// running test fails and a stand-in is returned (see missing()).
template <typename T>
T *child(QObject *parent, const char *name, const char *file = IMU_CALLER_FILE, int line = IMU_CALLER_LINE)
{
    if (auto *found = parent->findChild<T *>(QLatin1String(name)))
        return found;
    const QString owner = parent->objectName().isEmpty() ? QString::fromLatin1(parent->metaObject()->className())
                                                         : parent->objectName();
    return missing<T>(parent, QStringLiteral("child %1 of %2").arg(QLatin1String(name), owner), file, line);
}

#endif // CHILDWIDGET_H
