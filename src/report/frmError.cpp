#include "frmError.h"

#include "AppInfo.h"
#include "UrlOpener.h"
#include "errSubmit.h"

#include <QEventLoop>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

using namespace Qt::Literals::StringLiterals;

namespace {
QPointer<frmError> s_instance;

std::function<void()> &loadHook()
{
    static std::function<void()> hook;
    return hook;
}
} // namespace

frmError::frmError()
{
    setObjectName(u"frmError"_s);
    setWindowTitle(u"Error Message"_s);
    // An error report must never end the program, even when the main window is hidden in the
    // tray and this is the only window on screen.
    setAttribute(Qt::WA_QuitOnClose, false);
    auto *grid = new QGridLayout(this);
    auto field = [this, grid](const QString &name, const QString &label, int row, int column, int span) {
        auto *edit = new QLineEdit(this);
        edit->setObjectName(name);
        edit->setReadOnly(true);
        edit->setAccessibleName(label);
        auto *caption = new QLabel(label, this);
        caption->setBuddy(edit);
        grid->addWidget(caption, row, column);
        grid->addWidget(edit, row, column + 1, 1, span);
        return edit;
    };
    swName = field(u"swName"_s, u"Software"_s, 0, 0, 1);
    swVer = field(u"swVer"_s, u"Version"_s, 0, 2, 1);
    errForm = field(u"errForm"_s, u"Form"_s, 1, 0, 1);
    errFunction = field(u"errFunction"_s, u"Function"_s, 1, 2, 1);
    errNumber = field(u"errNumber"_s, u"Error No"_s, 2, 0, 1);
    errDescription = field(u"errDescription"_s, u"Description"_s, 3, 0, 3);
    errDescription->setMinimumWidth(420);

    auto button = [this](const QString &name, const QString &caption) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        return b;
    };
    Command1 = button(u"Command1"_s, u"Submit via Internet"_s);
    EmailBug = button(u"EmailBug"_s, u"Submit via Email"_s);
    Command2 = button(u"Command2"_s, u"Submit to Google"_s);
    ExitMe = button(u"ExitMe"_s, u"Exit"_s);
    auto *row = new QHBoxLayout;
    for (QPushButton *b : {Command1, EmailBug, Command2, ExitMe})
        row->addWidget(b);
    grid->addLayout(row, 4, 0, 1, 4);

    connect(Command1, &QPushButton::clicked, this, &frmError::Command1_Click);
    connect(EmailBug, &QPushButton::clicked, this, &frmError::EmailBug_Click);
    connect(Command2, &QPushButton::clicked, this, &frmError::Command2_Click);
    connect(ExitMe, &QPushButton::clicked, this, &frmError::ExitMe_Click);
    // Exit, the close box and Escape all end here.
    connect(this, &QDialog::finished, this, &frmError::unload);
}

frmError *frmError::instance()
{
    if (!s_instance) {
        s_instance = new frmError;
        s_instance->Form_Load();
    }
    return s_instance;
}

void frmError::setLoadHook(std::function<void()> hook)
{
    loadHook() = std::move(hook);
}

void frmError::Form_Load()
{
    if (loadHook())
        loadHook()();
}

void frmError::showReport(const ErrorReport &report)
{
    QPointer<frmError> window = instance();
    window->fill(report);
    if (!window->isVisible()) {
        window->exec();
        return;
    }
    // A second modal run of the same window cannot start; this report waits with the first.
    QEventLoop wait;
    connect(window, &QDialog::finished, &wait, &QEventLoop::quit);
    connect(window, &QObject::destroyed, &wait, &QEventLoop::quit);
    wait.exec();
}

void frmError::fill(const ErrorReport &report)
{
    swName->setText(AppInfo::executableName());
    swVer->setText(AppInfo::dottedVersion());
    errForm->setText(report.owner);
    errFunction->setText(report.procedure);
    errNumber->setText(QString::number(report.number));
    errDescription->setText(report.description);
}

void frmError::unload()
{
    if (s_instance == this)
        s_instance = nullptr;
    deleteLater();
}

ErrorReportTexts frmError::texts() const
{
    return {swVer->text(), errForm->text(), errFunction->text(), errNumber->text(), errDescription->text()};
}

void frmError::Command1_Click()
{
    errSubmit window(texts());
    window.exec();
}

void frmError::EmailBug_Click()
{
    UrlOpener::instance().openMail(errorMailLink(texts()));
}

void frmError::Command2_Click()
{
    OpenURL(webSearchAddress(errDescription->text()));
}

void frmError::ExitMe_Click()
{
    close();
}
