#pragma once

// What the benchmarks share: they reach the main window's controls by object name only, every
// figure they print carries the number of cores it was measured on, and a resize goes through
// the window as a user's does.

#include "CatalogActions.h"
#include "MessageBoxService.h"
#include "Settings.h"
#include "frmMain.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QTemporaryDir>
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

// The rules typed into the main window before a resize.
struct ResizeRules
{
    QString mode;
    // Used by the Pct modes.
    QString percent;
    // Used by the Limit modes, such as "1600H".
    QString limit;
    // Empty keeps what the window shows without stored settings.
    QString thumbnailSize;
    // Pictures above this many KB are marked too large to upload, and gallery pages leave them out.
    QString uploadLimitKb;
};

// A value stored in [section] key of settings.ini before the window opens.
struct StoredValue
{
    QString section;
    QString key;
    QString value;
};

struct WindowResize
{
    // The time of the Resize click alone.
    double seconds = 0;
    // What the scan listed, sorted.
    QStringList listed;
    // The texts of the message boxes the run showed, each answered OK (or No).
    QStringList notices;
};

// A user's batch: settings of its own holding only the stored values, the rules set in the
// window, a scan of root, then Resize into out. Only the Resize click is timed; the baselines
// it is compared with do not list anything either.
inline WindowResize resizeInWindow(const QString &root, const QString &out, const ResizeRules &rules,
                                   const QList<StoredValue> &stored = {})
{
    class NoticeRecorder : public MessageBoxService
    {
    public:
        Answer show(QWidget *, const QString &text, const QString &, Icon, Buttons buttons) override
        {
            texts.append(text);
            return buttons == Buttons::Ok ? Answer::Ok : Answer::No;
        }
        QStringList texts;
    };

    QTemporaryDir settings;
    SettingsLocation::setFolderOverride(settings.path());
    for (const StoredValue &value : stored)
        WriteIniValue(QStringLiteral("settings.ini"), value.section, value.key, value.value);
    NoticeRecorder boxes;
    MessageBoxService::setInstance(&boxes);
    WindowResize result;
    {
        frmMain form;
        form.show();
        QCoreApplication::processEvents();
        control<QLineEdit>(form, QStringLiteral("txtImgRootPath"))->setText(root);
        control<QLineEdit>(form, QStringLiteral("txtFDestin"))->setText(out);
        control<QComboBox>(form, QStringLiteral("cmbMode"))->setEditText(rules.mode);
        if (!rules.percent.isEmpty())
            control<QComboBox>(form, QStringLiteral("cmbResizePct"))->setEditText(rules.percent);
        if (!rules.limit.isEmpty())
            control<QLineEdit>(form, QStringLiteral("txtRSizeLimit"))->setText(rules.limit);
        if (!rules.thumbnailSize.isEmpty()) {
            control<QComboBox>(form, QStringLiteral("cmbTNSize"))->setEditText(rules.thumbnailSize);
            control<QLineEdit>(form, QStringLiteral("txtTNPrefix"))->setText(QStringLiteral("tn_"));
        }
        control<QComboBox>(form, QStringLiteral("cmbFTPSizeLimit"))->setEditText(rules.uploadLimitKb);
        control<QCheckBox>(form, QStringLiteral("chkRecreate"))->setChecked(true);

        control<QPushButton>(form, QStringLiteral("cmdScan"))->click();
        for (const CatalogEntry &entry : form.catalogActions()->catalog().entries())
            result.listed.append(entry.path);
        result.listed.sort();
        auto *resize = control<QPushButton>(form, QStringLiteral("cmdResize"));
        if (!resize->isEnabled())
            qFatal("Resize is not enabled after the scan");

        QElapsedTimer timer;
        timer.start();
        resize->click();
        result.seconds = static_cast<double>(timer.elapsed()) / 1000.0;
    }
    MessageBoxService::setInstance(nullptr);
    SettingsLocation::setFolderOverride(QString());
    result.notices = boxes.texts;
    return result;
}

} // namespace bench
