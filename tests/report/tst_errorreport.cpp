#include "ErrorGuard.h"
#include "LocalHttpServer.h"
#include "RecordingUrlOpener.h"
#include "ScriptedMessageBox.h"
#include "WebLinks.h"
#include "WebPageView.h"
#include "errSubmit.h"
#include "frmError.h"

#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrlQuery>
#include <functional>
#include <memory>

using namespace Qt::Literals::StringLiterals;

namespace {

// Runs the step on the modal window of the given kind once it is on screen. The step only reads
// and closes; checks come after the modal run returns, so a failed check never leaves a modal
// window open and the test hanging.
template <typename Window> void whenShown(std::function<void(Window *)> step)
{
    QTimer::singleShot(0, qApp, [step] {
        Window *window = nullptr;
        const bool shown = QTest::qWaitFor(
            [&] {
                window = qobject_cast<Window *>(QApplication::activeModalWidget());
                return window != nullptr;
            },
            5000);
        if (!shown) {
            if (QWidget *other = QApplication::activeModalWidget())
                other->close();
            return;
        }
        step(window);
    });
}

struct ReportSeen
{
    QString caption;
    QStringList fields;
    QStringList accessibleNames;
    bool rowsAsLaidOut = false;
    QStringList buttonsLeftToRight;
};

ReportSeen readReport(frmError *window)
{
    ReportSeen seen;
    seen.caption = window->windowTitle();
    const QList<QLineEdit *> fields = {window->swName,      window->swVer,     window->errForm,
                                       window->errFunction, window->errNumber, window->errDescription};
    for (QLineEdit *field : fields) {
        seen.fields.append(field->text());
        seen.accessibleNames.append(field->accessibleName());
    }
    auto top = [](QWidget *w) { return w->geometry().top(); };
    seen.rowsAsLaidOut =
        top(window->swName) == top(window->swVer) && top(window->errForm) == top(window->errFunction) &&
        top(window->swName) < top(window->errForm) && top(window->errForm) < top(window->errNumber) &&
        top(window->errNumber) < top(window->errDescription) &&
        window->errDescription->width() > window->errForm->width() &&
        window->errDescription->width() > window->errFunction->width();
    QList<QPushButton *> buttons = {window->ExitMe, window->Command2, window->EmailBug, window->Command1};
    std::sort(buttons.begin(), buttons.end(), [](QPushButton *a, QPushButton *b) { return a->x() < b->x(); });
    for (QPushButton *button : buttons)
        seen.buttonsLeftToRight.append(button->objectName() + u":"_s + button->text());
    return seen;
}

void pressExit(frmError *window)
{
    QTest::mouseClick(window->ExitMe, Qt::LeftButton);
}

} // namespace

class tst_ErrorReport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void reportShowsSixFieldsAndUnloadsOnExit();
    void fakeErrorIsReportedAsError400();
    void loadRunsOnEachLoadAndAReportWhileOpenWaitsForIt();
    void closingTheReportDoesNotEndTheProgram();
    void mailLinkCarriesTheReportAsItIs();
    void webSearchWritesBlanksAsPlus();
    void delimitersInValuesSurviveTheLinks();
    void submissionArrivesAtTheSiteAndItsPageIsShown();
    void submissionKeepsEveryValueIntact();

private:
    LocalHttpServer m_server;
    // Reports go to the real window here; only boxes are answered.
    std::unique_ptr<ScriptedMessageBox> m_boxes;
};

void tst_ErrorReport::initTestCase()
{
    // The program installs the report window as the reporter at start; so does this test.
    ErrorReporter::setHandler(&frmError::showReport);
    QVERIFY(m_server.start());
}

void tst_ErrorReport::init()
{
    m_boxes = std::make_unique<ScriptedMessageBox>();
}

void tst_ErrorReport::cleanup()
{
    setWebSiteBase(QString());
    frmError::setLoadHook(nullptr);
    m_server.requestLines.clear();
    const QStringList left = m_boxes->leftovers();
    m_boxes.reset();
    QTRY_VERIFY(!QApplication::activeModalWidget());
    QVERIFY2(left.isEmpty(), qPrintable(left.join(u"; "_s)));
}

void tst_ErrorReport::reportShowsSixFieldsAndUnloadsOnExit()
{
    ReportSeen seen;
    QPointer<frmError> shown;
    whenShown<frmError>([&](frmError *window) {
        shown = window;
        seen = readReport(window);
        pressExit(window);
    });
    ReportError(u"frmMain"_s, u"cmdScan_Click"_s,
                RunTimeError(RunTimeError::FileNotFound, u"File not found: /home/ann/My Photos/img 1.jpg"_s));

    QCOMPARE(seen.caption, u"Error Message"_s);
    QCOMPARE(seen.fields, QStringList({u"PexaResizer"_s, u"1.0.38"_s, u"frmMain"_s, u"cmdScan_Click"_s,
                                       u"53"_s, u"File not found: /home/ann/My Photos/img 1.jpg"_s}));
    QCOMPARE(seen.accessibleNames, QStringList({u"Software"_s, u"Version"_s, u"Form"_s, u"Function"_s,
                                                u"Error No"_s, u"Description"_s}));
    QVERIFY(seen.rowsAsLaidOut);
    QCOMPARE(seen.buttonsLeftToRight,
             QStringList({u"Command1:Submit via Internet"_s, u"EmailBug:Submit via Email"_s,
                          u"Command2:Submit to Google"_s, u"ExitMe:Exit"_s}));
    // Closed means unloaded: the next report loads a fresh window.
    QTRY_VERIFY(shown.isNull());
}

void tst_ErrorReport::fakeErrorIsReportedAsError400()
{
    ReportSeen seen;
    whenShown<frmError>([&](frmError *window) {
        seen = readReport(window);
        pressExit(window);
    });
    const bool finished =
        guarded(u"frmMain"_s, u"mnuFakeError_Click"_s, [] { throw RunTimeError(RunTimeError::FakeError); });

    QVERIFY(!finished);
    QCOMPARE(seen.fields.mid(2), QStringList({u"frmMain"_s, u"mnuFakeError_Click"_s, u"400"_s,
                                              RunTimeError::standardDescription(400)}));
    QVERIFY(!seen.fields.last().isEmpty());
}

void tst_ErrorReport::loadRunsOnEachLoadAndAReportWhileOpenWaitsForIt()
{
    int loads = 0;
    QStringList formAtLoad;
    frmError::setLoadHook([&] {
        ++loads;
        formAtLoad.append(frmError::instance()->errForm->text());
    });

    for (int i = 0; i < 2; ++i) {
        whenShown<frmError>([](frmError *window) { pressExit(window); });
        ReportError(u"frmMain"_s, u"cmdResize_Click"_s, RunTimeError(RunTimeError::Overflow));
    }
    QCOMPARE(loads, 2);
    // The load comes before the report's texts are put in.
    QCOMPARE(formAtLoad, QStringList({QString(), QString()}));

    // A second report, say from the tray icon, while the window is still open.
    QStringList formsShown;
    bool innerReturnedWhileOpen = true;
    whenShown<frmError>([&](frmError *window) {
        QPointer<frmError> open = window;
        QTimer::singleShot(0, window, [&formsShown, window] {
            formsShown.append(window->errForm->text());
            pressExit(window);
        });
        ReportError(u"frmMain"_s, u"ModifyThisIcon"_s, RunTimeError(RunTimeError::InvalidArgument));
        innerReturnedWhileOpen = open && open->isVisible();
    });
    ReportError(u"frmMain"_s, u"cmdUpload_Click"_s, RunTimeError(RunTimeError::PathNotFound));

    QCOMPARE(formsShown, QStringList({u"frmMain"_s}));
    QVERIFY(!innerReturnedWhileOpen);
    QCOMPARE(loads, 3);
}

void tst_ErrorReport::closingTheReportDoesNotEndTheProgram()
{
    // The program's own event loop, with no other window open, as when the main window is hidden
    // in the tray. Only a run that is still going when the timer fires hands back its code.
    constexpr int StillRunning = 7;
    QTimer::singleShot(0, qApp, [] {
        whenShown<frmError>([](frmError *window) { window->close(); });
        ReportError(u"frmMain"_s, u"HideInTray_Click"_s, RunTimeError(RunTimeError::InvalidArgument));
        whenShown<frmError>([](frmError *window) { pressExit(window); });
        ReportError(u"frmMain"_s, u"HideInTray_Click"_s, RunTimeError(RunTimeError::InvalidArgument));
        QTimer::singleShot(200, qApp, [] { QCoreApplication::exit(StillRunning); });
    });

    QCOMPARE(QApplication::exec(), StillRunning);
}

void tst_ErrorReport::mailLinkCarriesTheReportAsItIs()
{
    RecordingUrlOpener opener;
    bool stayedOpen = false;
    whenShown<frmError>([&](frmError *window) {
        QTest::mouseClick(window->EmailBug, Qt::LeftButton);
        stayedOpen = window->isVisible();
        pressExit(window);
    });
    ReportError(u"frmMain"_s, u"cmdUpload_Click"_s,
                RunTimeError(RunTimeError::PathNotFound, u"Path not found: /srv/My \"Gallery\"/it's here"_s));

    QCOMPARE(
        opener.mails,
        QStringList(u"mailto:errors@pexaresizer.example?subject=PexaResizer Error Number 76&body=PexaResizer "
                    u"v1.0.38 has had an error.  Error is described as ''Path not found: /srv/My "
                    u"\"Gallery\"/it's here''.  This error was generated on form frmMain in function "
                    u"cmdUpload_Click.  Please add any other comments you may have to this problem before "
                    u"sending this email."_s));
    QVERIFY(opener.urls.isEmpty());
    QVERIFY(stayedOpen);
}

void tst_ErrorReport::webSearchWritesBlanksAsPlus()
{
    RecordingUrlOpener opener;
    bool stayedOpen = false;
    whenShown<frmError>([&](frmError *window) {
        QTest::mouseClick(window->Command2, Qt::LeftButton);
        stayedOpen = window->isVisible();
        pressExit(window);
    });
    ReportError(u"frmMain"_s, u"cmdUpload_Click"_s,
                RunTimeError(RunTimeError::PathNotFound, u"Path not found: /srv/My \"Gallery\"/it's here"_s));

    QCOMPARE(opener.urls, QStringList(u"http://www.search.example/search?hl=en&q=Qt+Path+not+found:+/srv/My+"
                                      u"\"Gallery\"/it's+here"_s));
    QVERIFY(opener.mails.isEmpty());
    QVERIFY(stayedOpen);
}

void tst_ErrorReport::delimitersInValuesSurviveTheLinks()
{
    const ErrorReportTexts texts{u"1.0.38"_s, u"frmMain"_s, u"cmdScan_Click"_s, u"53"_s,
                                 u"File not found: /photos/#3 & 50%+more"_s};

    // A "#" would cut the rest off as a fragment and an "&" would start a new field.
    QVERIFY(errorMailLink(texts).contains(u"''File not found: /photos/%233 %26 50%25+more''"_s));
    QCOMPARE(webSearchAddress(texts.description),
             u"http://www.search.example/search?hl=en&q=Qt+File+not+found:+/photos/%233+%26+50%25%2Bmore"_s);
    // Read back as a search service reads a query, "+" being a blank.
    QString terms = QUrlQuery(QUrl(webSearchAddress(texts.description), QUrl::TolerantMode))
                        .queryItemValue(u"q"_s, QUrl::FullyEncoded);
    terms.replace(u'+', u' ');
    QCOMPARE(QUrl::fromPercentEncoding(terms.toUtf8()), u"Qt File not found: /photos/#3 & 50%+more"_s);
}

void tst_ErrorReport::submissionArrivesAtTheSiteAndItsPageIsShown()
{
    setWebSiteBase(m_server.baseAddress());
    m_server.setPage(200, "<html><body><p>Thank you, the error has been logged.</p></body></html>");
    QString caption;
    QString requested;
    QString page;
    bool reportWaited = false;
    bool answered = false;
    whenShown<frmError>([&](frmError *window) {
        whenShown<errSubmit>([&](errSubmit *submit) {
            caption = submit->windowTitle();
            requested = submit->WebBrowser1->requestedAddress();
            answered = QTest::qWaitFor([&] { return !submit->WebBrowser1->isLoading(); }, 10000);
            page = submit->WebBrowser1->toPlainText();
            submit->close();
        });
        QTest::mouseClick(window->Command1, Qt::LeftButton);
        reportWaited = window->isVisible();
        pressExit(window);
    });
    ReportError(u"frmMain"_s, u"cmdScan_Click"_s,
                RunTimeError(RunTimeError::FileNotFound, u"File not found: /home/ann/it's mine.jpg"_s));

    QCOMPARE(caption, u"Submit this error via Internet"_s);
    QCOMPARE(requested,
             m_server.baseAddress() +
                 u"/sw_errors.php?a=PexaResizer&v=1.0.38&f=frmMain&s=cmdScan_Click&n=53&d=File not found: "
                 u"/home/ann/it's mine.jpg"_s);
    // Blanks cannot go on the wire as they are; they arrive as %20 and everything else unchanged.
    QCOMPARE(m_server.requestLines,
             QList<QByteArray>(
                 {"GET /sw_errors.php?a=PexaResizer&v=1.0.38&f=frmMain&s=cmdScan_Click&n=53&d=File%20not%"
                  "20found:%20/home/ann/it's%20mine.jpg HTTP/1.1"}));
    QVERIFY(answered);
    QCOMPARE(page, u"Thank you, the error has been logged."_s);
    QVERIFY(reportWaited);
}

void tst_ErrorReport::submissionKeepsEveryValueIntact()
{
    setWebSiteBase(m_server.baseAddress());
    const ErrorReportTexts texts{u"1.0.38"_s, u"FTPStatus"_s, u"cmdCancel_Click"_s, u"-2147217900"_s,
                                 u"Cannot store \"/web/#2 & 50%+more/café ''x''.jpg\""_s};
    errSubmit window(texts);
    QTRY_COMPARE(m_server.requestLines.size(), 1);
    QTRY_VERIFY(!window.WebBrowser1->isLoading());

    const QByteArray line = m_server.requestLines.first();
    QVERIFY(line.startsWith("GET /sw_errors.php?") && line.endsWith(" HTTP/1.1"));
    const QUrl arrived = QUrl::fromEncoded(line.mid(4, line.size() - 4 - 9), QUrl::StrictMode);
    QVERIFY(arrived.isValid());
    QCOMPARE(arrived.fragment(), QString());
    QList<std::pair<QString, QString>> items;
    for (const auto &[key, value] : QUrlQuery(arrived).queryItems(QUrl::FullyDecoded))
        items.append({key, value});
    const QList<std::pair<QString, QString>> expected = {
        {u"a"_s, u"PexaResizer"_s}, {u"v"_s, texts.version}, {u"f"_s, texts.form},
        {u"s"_s, texts.function},   {u"n"_s, texts.number},  {u"d"_s, texts.description}};
    QCOMPARE(items, expected);
}

QTEST_MAIN(tst_ErrorReport)
#include "tst_errorreport.moc"
