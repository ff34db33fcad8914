#pragma once

#include <QDialog>

class WebPageView;

// The update check: asks the vendor's site about newer versions and shows its answer.
class Browser : public QDialog
{
    Q_OBJECT

public:
    explicit Browser(QWidget *parent = nullptr);

    WebPageView *WebBrowser1 = nullptr;

private:
    void Form_Load();
};
