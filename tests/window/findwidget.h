#ifndef FINDWIDGET_H
#define FINDWIDGET_H

#include <QObject>
#include <QtGlobal>

// The widget of class T named `name` below `root`; a missing one ends the test
// run at once with its name, rather than crashing on a null pointer later.
template <typename T> T *child(const QObject *root, const char *name)
{
    T *widget = root->findChild<T *>(QLatin1String(name));
    if (!widget)
        qFatal("no %s named %s", T::staticMetaObject.className(), name);
    return widget;
}

#endif // FINDWIDGET_H
