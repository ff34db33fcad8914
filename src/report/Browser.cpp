#include "Browser.h"

#include "ErrorGuard.h"
#include "WebLinks.h"
#include "WebPageView.h"

#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

Browser::Browser(QWidget *parent) : QDialog(parent)
{
    setObjectName(u"Browser"_s);
    setWindowTitle(u"Update Status"_s);
    setAttribute(Qt::WA_QuitOnClose, false);
    WebBrowser1 = new WebPageView(this);
    WebBrowser1->setObjectName(u"WebBrowser1"_s);
    WebBrowser1->setAccessibleName(u"Update status"_s);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(WebBrowser1);
    resize(480, 320);
    Form_Load();
}

void Browser::Form_Load()
{
    guarded(u"Browser"_s, u"Form_Load"_s, [&] { WebBrowser1->navigate(updateCheckAddress()); });
}
