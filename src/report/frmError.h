#pragma once

#include "ErrorReporter.h"
#include "WebLinks.h"

#include <QDialog>
#include <functional>

class QLineEdit;
class QPushButton;

// The error report window: six fields and four ways out (web, mail, web search, exit). There
// is one at a time; it is loaded by the first report after it was last closed, and closing it
// unloads it.
class frmError : public QDialog
{
    Q_OBJECT

public:
    // Fills the report window with the report and shows it modally; returns when it is closed.
    // A report that comes while the window is open overwrites its texts and returns with it.
    static void showReport(const ErrorReport &report);
    // Runs whenever the report window loads; the main window uses it to give back its Exit button.
    static void setLoadHook(std::function<void()> hook);
    // The report window, created and loaded when none is loaded.
    static frmError *instance();

    QLineEdit *swName = nullptr;
    QLineEdit *swVer = nullptr;
    QLineEdit *errForm = nullptr;
    QLineEdit *errFunction = nullptr;
    QLineEdit *errNumber = nullptr;
    QLineEdit *errDescription = nullptr;
    QPushButton *Command1 = nullptr;
    QPushButton *EmailBug = nullptr;
    QPushButton *Command2 = nullptr;
    QPushButton *ExitMe = nullptr;

public slots:
    void Command1_Click();
    void EmailBug_Click();
    void Command2_Click();
    void ExitMe_Click();

private:
    frmError();
    void Form_Load();
    void fill(const ErrorReport &report);
    void unload();
    ErrorReportTexts texts() const;
};
