#pragma once

// What the benchmarks share: they reach the main window's controls by object name only, and
// every figure they print carries the number of cores it was measured on.

#include <QApplication>
#include <QString>
#include <QThread>
#include <QWidget>

#include <cstdio>

namespace bench {

// The control a user would use, found by its object name; a missing one ends the run, since
// every figure after it would be meaningless.
template <typename T> T *control(const QWidget &window, const QString &name)
{
    T *found = window.findChild<T *>(name);
    if (!found)
        qFatal("no control named %s", qPrintable(name));
    return found;
}

// The open top-level window with this object name, or nullptr.
inline QWidget *topLevelWindow(const QString &name)
{
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window->objectName() == name)
            return window;
    }
    return nullptr;
}

inline int cores()
{
    return QThread::idealThreadCount();
}

inline void say(const QString &line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

// A line that holds a measurement: the same figure means something else on another machine.
inline void figure(const QString &line)
{
    std::printf("%s  [%d cores]\n", qPrintable(line), cores());
    std::fflush(stdout);
}

} // namespace bench
