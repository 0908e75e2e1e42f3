#ifndef CHILDWIDGET_H
#define CHILDWIDGET_H

#include "testfailure.h"

#include <QObject>
#include <QString>

// The child of parent with the given object name. When there is none, the
// running test fails and a stand-in is returned (see missing()).
template <typename T> T *child(QObject *parent, const char *name)
{
    if (auto *found = parent->findChild<T *>(QLatin1String(name)))
        return found;
    return missing<T>(parent, QStringLiteral("child %1 of %2").arg(QLatin1String(name), parent->objectName()));
}

#endif // CHILDWIDGET_H
