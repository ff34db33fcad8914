#pragma once

#include <QDialog>

struct SettingKey;
class QCheckBox;
class QGroupBox;
class QPushButton;
class QVBoxLayout;

// Web Options: how the copies and thumbnails are prepared for the web. Each choice is stored
// in settings.ini the moment it changes, as the main window's are; the dialog only closes.
// Groups of choices stack from the top, each below the last.
class frmWebOptions : public QDialog
{
    Q_OBJECT

public:
    explicit frmWebOptions(QWidget *parent = nullptr);

    QGroupBox *fraCopies = nullptr;
    QCheckBox *chkStripPrivate = nullptr;
    QCheckBox *chkAutoOrient = nullptr;
    QCheckBox *chkSrgb = nullptr;
    QCheckBox *chkFastDecode = nullptr;
    QPushButton *cmdClose = nullptr;

private:
    QGroupBox *addGroup(const QString &name, const QString &title);
    // A check box in group that shows the stored choice and stores each change; described for
    // screen readers and in its tooltip.
    QCheckBox *addOption(QGroupBox *group, const QString &name, const QString &caption, const SettingKey &key,
                         const QString &description);

    QVBoxLayout *m_groups = nullptr;
};
