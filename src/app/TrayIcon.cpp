#include "TrayIcon.h"

#include "ErrorGuard.h"
#include "frmMain.h"

#include <QSystemTrayIcon>

using namespace Qt::Literals::StringLiterals;

namespace {
std::optional<bool> s_trayAvailable;
}

TrayIcon::TrayIcon(frmMain &form) : QObject(&form), m_form(form) {}

TrayIcon::~TrayIcon()
{
    DeleteIconFromTray();
}

void TrayIcon::AddIconToTray()
{
    guarded(u"frmMain"_s, u"AddIconToTray"_s, [&] {
        if (m_icon)
            return;
        m_icon = new QSystemTrayIcon(m_form.windowIcon(), this);
        m_icon->setToolTip(u"Pexa Resizer"_s);
        // Single clicks, right clicks and moves over the icon do nothing.
        connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::DoubleClick)
                m_form.trayDoubleClicked();
        });
        m_icon->show();
    });
}

void TrayIcon::DeleteIconFromTray()
{
    guarded(u"frmMain"_s, u"DeleteIconFromTray"_s, [&] {
        delete m_icon;
        m_icon = nullptr;
    });
}

bool TrayIcon::isShown() const
{
    return m_icon && m_icon->isVisible();
}

QString TrayIcon::toolTip() const
{
    return m_icon ? m_icon->toolTip() : QString();
}

bool TrayIcon::canRestoreWindow() const
{
    const bool available = s_trayAvailable.value_or(QSystemTrayIcon::isSystemTrayAvailable());
    return available && isShown();
}

void TrayIcon::setTrayAvailableOverride(std::optional<bool> available)
{
    s_trayAvailable = available;
}
