#include "ErrorRecorder.h"
#include "LocalHttpServer.h"
#include "RecordingUrlOpener.h"
#include "ScriptedMessageBox.h"
#include "WebLinks.h"
#include "WebPageView.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <memory>

using namespace Qt::Literals::StringLiterals;

class tst_WebLinks : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void openUrlOpensEveryAddressUnchanged();
    void openUrlReportsABrowserThatCannotStart();
    void helpMenuAddresses();
    void siteBaseMovesEverySiteAddress();
    void pageViewShowsWhatComesBack_data();
    void pageViewShowsWhatComesBack();
    void pageViewShowsWhyNothingCame();
    void pageViewFollowsLinksOnThePage();
    void pageViewClosedWhileWaiting();

private:
    LocalHttpServer m_server;
    std::unique_ptr<ScriptedMessageBox> m_boxes;
    std::unique_ptr<ErrorRecorder> m_errors;
};

void tst_WebLinks::initTestCase()
{
    QVERIFY(m_server.start());
}

void tst_WebLinks::init()
{
    m_boxes = std::make_unique<ScriptedMessageBox>();
    m_errors = std::make_unique<ErrorRecorder>();
}

void tst_WebLinks::cleanup()
{
    setWebSiteBase(QString());
    m_server.requestLines.clear();
    const QStringList left = m_boxes->leftovers() + m_errors->leftovers();
    m_errors.reset();
    m_boxes.reset();
    QVERIFY2(left.isEmpty(), qPrintable(left.join(u"; "_s)));
}

void tst_WebLinks::openUrlOpensEveryAddressUnchanged()
{
    RecordingUrlOpener opener;
    OpenURL(softwareHomeAddress());
    OpenURL(softwareHomeAddress());
    OpenURL(u"http://www.search.example/search?hl=en&q=Qt+a \"b\" 'c'"_s);

    QCOMPARE(opener.urls,
             QStringList({u"http://www.pexaresizer.example/"_s, u"http://www.pexaresizer.example/"_s,
                          u"http://www.search.example/search?hl=en&q=Qt+a \"b\" 'c'"_s}));
    QVERIFY(m_errors->reports.isEmpty());
}

void tst_WebLinks::openUrlReportsABrowserThatCannotStart()
{
    RecordingUrlOpener opener;
    opener.failUrls = true;
    OpenURL(u"http://www.pexaresizer.example/"_s);

    QCOMPARE(m_errors->take(), QStringList(u"global/OpenURL/429"_s));
    QVERIFY(m_errors->reports.first().description.contains(u"http://www.pexaresizer.example/"_s));
}

void tst_WebLinks::helpMenuAddresses()
{
    QCOMPARE(softwareHomeAddress(), u"http://www.pexaresizer.example/"_s);
    QCOMPARE(subscribeMailLink(), u"mailto:orvel-news-subscribe@pexaresizer.example"_s);
    QCOMPARE(updateCheckAddress(),
             u"http://www.pexaresizer.example/update.php?sw=PexaResizer&major=1&minor=0&build=38"_s);
}

void tst_WebLinks::siteBaseMovesEverySiteAddress()
{
    setWebSiteBase(u"http://127.0.0.1:8080"_s);
    QCOMPARE(softwareHomeAddress(), u"http://127.0.0.1:8080/"_s);
    QCOMPARE(commentPageAddress(), u"http://127.0.0.1:8080/comments.php?submitted=PexaResizer"_s);
    QVERIFY(updateCheckAddress().startsWith(u"http://127.0.0.1:8080/update.php?"_s));
    QVERIFY(errorSubmissionAddress({}).startsWith(u"http://127.0.0.1:8080/sw_errors.php?"_s));
    setWebSiteBase(QString());
    QCOMPARE(webSiteBase(), u"http://www.pexaresizer.example"_s);
}

void tst_WebLinks::pageViewShowsWhatComesBack_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QString>("shown");
    QTest::newRow("html page") << 200 << QByteArray("<html><body><b>New</b> version 1.1</body></html>")
                               << QByteArray("text/html; charset=utf-8") << u"New version 1.1"_s;
    QTest::newRow("site's own error page")
        << 404 << QByteArray("<html><body><h1>No such page</h1></body></html>") << QByteArray("text/html")
        << u"No such page"_s;
    QTest::newRow("plain text is not markup")
        << 200 << QByteArray("a <b> c") << QByteArray("text/plain") << u"a <b> c"_s;
    QTest::newRow("latin-1 page") << 200 << QByteArray("<p>caf\xe9</p>")
                                  << QByteArray("text/html; charset=ISO-8859-1") << u"caf\u00e9"_s;
    QTest::newRow("charset named in the page")
        << 200 << QByteArray("<html><head><meta charset=\"iso-8859-1\"></head><body>na\xefve</body></html>")
        << QByteArray("text/html") << u"na\u00efve"_s;
}

void tst_WebLinks::pageViewShowsWhatComesBack()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, contentType);
    QFETCH(QString, shown);
    m_server.setPage(status, body, contentType);
    WebPageView view;
    QSignalSpy pageShown(&view, &WebPageView::pageShown);
    view.navigate(m_server.baseAddress() + u"/update.php?sw=PexaResizer"_s);
    QVERIFY(view.isLoading());
    QTRY_COMPARE(pageShown.count(), 1);

    QCOMPARE(view.toPlainText(), shown);
    QCOMPARE(m_server.requestLines, QList<QByteArray>({"GET /update.php?sw=PexaResizer HTTP/1.1"}));
}

void tst_WebLinks::pageViewShowsWhyNothingCame()
{
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
    const quint16 port = closed.serverPort();
    closed.close();

    WebPageView view;
    QSignalSpy pageShown(&view, &WebPageView::pageShown);
    view.navigate(u"http://127.0.0.1:%1/update.php"_s.arg(port));
    QTRY_COMPARE(pageShown.count(), 1);
    QVERIFY2(view.toPlainText().contains(u"refused"_s, Qt::CaseInsensitive), qPrintable(view.toPlainText()));

    view.navigate(u"not an address"_s);
    QCOMPARE(pageShown.count(), 2);
    QVERIFY(view.toPlainText().contains(u"not an address"_s));
    QVERIFY(!view.isLoading());
}

void tst_WebLinks::pageViewFollowsLinksOnThePage()
{
    m_server.setPage(200, "<html><body><a href=\"/files/setup.php?v=1.1\">Download</a></body></html>");
    WebPageView view;
    QSignalSpy pageShown(&view, &WebPageView::pageShown);
    view.navigate(m_server.baseAddress() + u"/update.php?sw=PexaResizer"_s);
    QTRY_COMPARE(pageShown.count(), 1);

    emit view.anchorClicked(QUrl(u"/files/setup.php?v=1.1"_s));
    QTRY_COMPARE(pageShown.count(), 2);
    QCOMPARE(m_server.requestLines, QList<QByteArray>({"GET /update.php?sw=PexaResizer HTTP/1.1",
                                                       "GET /files/setup.php?v=1.1 HTTP/1.1"}));
    QCOMPARE(view.requestedAddress(), m_server.baseAddress() + u"/files/setup.php?v=1.1"_s);
}

void tst_WebLinks::pageViewClosedWhileWaiting()
{
    // A site that takes the connection and never answers; the user closes the window meanwhile.
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
    auto *view = new WebPageView;
    view->navigate(u"http://127.0.0.1:%1/update.php"_s.arg(silent.serverPort()));
    QTRY_VERIFY(silent.hasPendingConnections());
    QVERIFY(view->isLoading());
    delete view;

    // The request is dropped with the window.
    QTcpSocket *connection = silent.nextPendingConnection();
    QVERIFY(connection);
    QTRY_COMPARE(connection->state(), QAbstractSocket::UnconnectedState);
}

QTEST_MAIN(tst_WebLinks)
#include "tst_weblinks.moc"
