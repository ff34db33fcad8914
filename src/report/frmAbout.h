#pragma once

#include <QDialog>
#include <functional>

class QComboBox;
class QLabel;
class QPushButton;

// The About box: the program's name, version and description, a comment link and a donation
// link. At start-up its button reads "Continue" and leads on to the main window; opened from
// the menu it reads "Exit" and only closes the box. It loads when constructed.
class frmAbout : public QDialog
{
    Q_OBJECT

public:
    explicit frmAbout(QWidget *parent = nullptr);

    // What "Continue" does before the box closes: the start-up shows the main window here.
    static void setContinueAction(std::function<void()> action);

    QLabel *lblTitle = nullptr;
    QLabel *lblVersion = nullptr;
    QLabel *lblDescription = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label4 = nullptr;
    QLabel *Me = nullptr;
    QPushButton *ContactMe = nullptr;
    QComboBox *DonateAmt = nullptr;
    QPushButton *DonateBtn = nullptr;
    QPushButton *cmdOK = nullptr;

public slots:
    void cmdOK_Click();
    void ContactMe_Click();
    void DonateBtn_Click();

private:
    void createControls();
    void Form_Load();
};
