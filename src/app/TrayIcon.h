#pragma once

#include <QObject>

#include <optional>

class QSystemTrayIcon;
class frmMain;

// The main window's icon in the notification area: tooltip "Pexa Resizer"; a left
// double-click, or on a D-Bus notification area the icon's activation, toggles the window. A
// desktop without a notification area is not an error.
class TrayIcon : public QObject
{
    Q_OBJECT

public:
    explicit TrayIcon(frmMain &form);
    ~TrayIcon() override;

    void AddIconToTray();
    void DeleteIconFromTray();
    bool isShown() const;
    QString toolTip() const;
    // True when the icon sits in a notification area, so a hidden window can come back.
    bool canRestoreWindow() const;

    // Tells the icon whether a notification area exists, instead of asking the desktop (tests).
    static void setTrayAvailableOverride(std::optional<bool> available);

private:
    frmMain &m_form;
    QSystemTrayIcon *m_icon = nullptr;
    bool m_onDBus = false;
};
