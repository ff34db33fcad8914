#include "TrayIcon.h"

#include "ErrorGuard.h"
#include "frmMain.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QSystemTrayIcon>

using namespace Qt::Literals::StringLiterals;

namespace {

std::optional<bool> s_trayAvailable;

// Whether the session's notification area is hosted over D-Bus, as Qt then shows the icon
// there (a StatusNotifierItem) instead of in an XEmbed tray.
bool notificationAreaOnDBus()
{
    QDBusMessage get =
        QDBusMessage::createMethodCall(u"org.kde.StatusNotifierWatcher"_s, u"/StatusNotifierWatcher"_s,
                                       u"org.freedesktop.DBus.Properties"_s, u"Get"_s);
    get << u"org.kde.StatusNotifierWatcher"_s << u"IsStatusNotifierHostRegistered"_s;
    const QDBusMessage reply = QDBusConnection::sessionBus().call(get, QDBus::Block, 1000);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
           reply.arguments().constFirst().value<QDBusVariant>().variant().toBool();
}

} // namespace

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
        m_onDBus = notificationAreaOnDBus();
        m_icon = new QSystemTrayIcon(m_form.windowIcon(), this);
        m_icon->setToolTip(u"Pexa Resizer"_s);
        // In an XEmbed tray the left double-click toggles the window, and single clicks, right
        // clicks and moves do nothing. A D-Bus host sends no double-click: its activation of the
        // icon (a Trigger) is what toggles there.
        connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::DoubleClick || (m_onDBus && reason == QSystemTrayIcon::Trigger))
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
