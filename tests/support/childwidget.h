#ifndef CHILDWIDGET_H
#define CHILDWIDGET_H

#include <QObject>
#include <QString>

// The child of parent with the given object name; aborts the run when there
// is none, since every caller depends on the form being as built.
template <typename T> T *child(QObject *parent, const char *name)
{
    auto *w = parent->findChild<T *>(QLatin1String(name));
    if (!w)
        qFatal("no child %s", name);
    return w;
}

#endif // CHILDWIDGET_H
