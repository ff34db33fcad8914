#pragma once

#include <QObject>
#include <QString>
#include <QStringView>

// A window's control found by its object name, which is the name the window's code gives it, so
// that tests need none of the window's members. A control that is missing, or not a T, ends
// the run with its name.
template <class T> T *control(const QObject &window, QStringView name)
{
    T *found = window.findChild<T *>(name.toString());
    if (!found)
        qFatal("%s has no %s named %s", window.metaObject()->className(), T::staticMetaObject.className(),
               qPrintable(name.toString()));
    return found;
}
