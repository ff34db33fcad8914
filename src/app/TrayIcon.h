#pragma once

#include <QObject>

class QSystemTrayIcon;
class frmMain;

// The main window's icon in the notification area: tooltip "Pexa Resizer"; a left
// double-click toggles the window. A desktop without a notification area is not an error.
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

private:
    frmMain &m_form;
    QSystemTrayIcon *m_icon = nullptr;
};
