#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

// Shown when the image processor is missing: how to install it, where to get it, and a way
// out of the program.
class frmDownloadIM : public QWidget
{
    Q_OBJECT

public:
    explicit frmDownloadIM(QWidget *parent = nullptr);

    // Creates the window when it does not exist yet and shows it without waiting.
    static frmDownloadIM *showWindow();
    // The open window, or nullptr.
    static frmDownloadIM *current();

    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Picture1 = nullptr;
    QPushButton *cmdDownloadIM_org = nullptr;
    QPushButton *cmdGetIM = nullptr;
    QPushButton *cmdExit = nullptr;

public slots:
    void cmdDownloadIM_org_Click();
    void cmdGetIM_Click();
    void cmdExit_Click();

private:
    void downloadThenAsk(const QString &address);
    void closeProgram();
};
