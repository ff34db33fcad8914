#include "errSubmit.h"

#include "WebPageView.h"

#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

errSubmit::errSubmit(const ErrorReportTexts &texts, QWidget *parent) : QDialog(parent)
{
    setObjectName(u"errSubmit"_s);
    setWindowTitle(u"Submit this error via Internet"_s);
    // Closing it goes back to the report; it never ends the program.
    setAttribute(Qt::WA_QuitOnClose, false);
    WebBrowser1 = new WebPageView(this);
    WebBrowser1->setObjectName(u"WebBrowser1"_s);
    WebBrowser1->setAccessibleName(u"Submission result"_s);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(WebBrowser1);
    resize(640, 480);
    Form_Load(texts);
}

void errSubmit::Form_Load(const ErrorReportTexts &texts)
{
    WebBrowser1->navigate(errorSubmissionAddress(texts));
}
