#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QWidget>

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

// The controls a run locks and gives back, by object name, in the groups the window gives back
// together, so that a test states the window's situation rather than a list.
namespace Enabled {

using namespace Qt::Literals::StringLiterals;

inline const QStringList Choosers = {u"cmdSetFolder"_s, u"cmdScan"_s, u"cmdFDestin"_s, u"cmdFTPSettings"_s};
inline const QStringList Rules = {u"cmbResizePct"_s,    u"cmbMode"_s,     u"txtRSizeLimit"_s,
                                  u"cmbFTPSizeLimit"_s, u"chkRecreate"_s, u"cmbTNSize"_s};
inline const QStringList Prefix = {u"txtTNPrefix"_s};
inline const QStringList Ticks = {u"cmdALL"_s, u"cmdINV"_s, u"cmdNONE"_s};
inline const QStringList Batches = {u"cmdResize"_s, u"cmdUpload"_s, u"cmdResize_Upload"_s};

// Situations, each with thumbnails off.
inline const QStringList Unlisted = Choosers + Rules;
inline const QStringList Listed = Unlisted + QStringList{u"List1"_s} + Ticks;
inline const QStringList Ready = Listed + Batches;

inline const QStringList Everything = Ready + Prefix;

} // namespace Enabled

// The run controls whose state is not the expected one, each as "name on" or "name off" for
// what it is; empty when the controls in `enabled` are on and every other one is off.
inline QString wrongControls(const QObject &window, const QStringList &enabled)
{
    QStringList wrong;
    for (const QString &name : Enabled::Everything) {
        const bool on = control<QWidget>(window, name)->isEnabled();
        if (on != enabled.contains(name))
            wrong.append(name + (on ? QStringLiteral(" on") : QStringLiteral(" off")));
    }
    return wrong.join(QStringLiteral(", "));
}
