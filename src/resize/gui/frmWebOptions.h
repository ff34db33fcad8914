#pragma once

#include <QDialog>

struct SettingKey;
class QCheckBox;
class QComboBox;
class QFormLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

// Web Options: how the copies and thumbnails are prepared for the web, and the gallery pages
// written beside them. Each choice is stored in settings.ini the moment it changes, as the
// main window's are; a text field's when its editing is finished (Enter, leaving the field, or
// closing the dialog), so a page name is judged whole and never half-typed. The dialog only
// closes. Groups of choices stack from the top, each below the last.
class frmWebOptions : public QDialog
{
    Q_OBJECT

public:
    explicit frmWebOptions(QWidget *parent = nullptr);
    ~frmWebOptions() override;

    // The image root whose folder name is the title when none is typed; shown as the title
    // field's placeholder.
    void setImageRoot(const QString &imageRoot);

    QGroupBox *fraCopies = nullptr;
    QCheckBox *chkStripPrivate = nullptr;
    QCheckBox *chkAutoOrient = nullptr;
    QCheckBox *chkSrgb = nullptr;
    QCheckBox *chkFastDecode = nullptr;
    QGroupBox *fraPages = nullptr;
    QCheckBox *chkPages = nullptr;
    QLabel *lblTitle = nullptr;
    QLineEdit *txtTitle = nullptr;
    QLabel *lblPageName = nullptr;
    QLineEdit *txtPageName = nullptr;
    QCheckBox *chkPhotoPages = nullptr;
    QLabel *lblOrder = nullptr;
    QComboBox *cmbOrder = nullptr;
    QLabel *lblWebAddress = nullptr;
    QLineEdit *txtWebAddress = nullptr;
    QPushButton *cmdClose = nullptr;

public slots:
    void chkPages_Click();
    void txtTitle_LostFocus();
    // Refuses a name that is no page name with a message and puts the stored one back.
    void txtPageName_LostFocus();
    void cmbOrder_Click();
    // Refuses a text that is no web address as the page name is refused; stores one normalized.
    void txtWebAddress_LostFocus();
    void done(int result) override;

private:
    QGroupBox *addGroup(const QString &name, const QString &title);
    // A check box in group that shows the stored choice and stores each change; described for
    // screen readers and in its tooltip.
    QCheckBox *addOption(QGroupBox *group, const QString &name, const QString &caption, const SettingKey &key,
                         const QString &description);
    // A text field on a row of form, named by label (its buddy), described for screen readers
    // and in its tooltip.
    QLineEdit *addText(QFormLayout *form, QLabel *label, const QString &name, const QString &description);
    // Puts field on a row of form as addText does. A combo box is read by its current item and
    // labelled by the label, as screen readers on Linux expect.
    void addField(QFormLayout *form, QLabel *label, QWidget *field, const QString &name,
                  const QString &description);

    QVBoxLayout *m_groups = nullptr;
};
