#pragma once

#include "WebLinks.h"

#include <QDialog>

class WebPageView;

// Submits an error report to the vendor's site and shows the site's answer.
class errSubmit : public QDialog
{
    Q_OBJECT

public:
    explicit errSubmit(const ErrorReportTexts &texts, QWidget *parent = nullptr);

    WebPageView *WebBrowser1 = nullptr;

private:
    void Form_Load(const ErrorReportTexts &texts);
};
