#include "Browser.h"
#include "ErrorRecorder.h"
#include "LocalHttpServer.h"
#include "RecordingUrlOpener.h"
#include "ScriptedMessageBox.h"
#include "WebLinks.h"
#include "WebPageView.h"
#include "frmAbout.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace Qt::Literals::StringLiterals;

class tst_AboutBox : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void showsNameVersionAndTexts();
    void donationAddressCarriesTheAmountWithoutDollarSigns_data();
    void donationAddressCarriesTheAmountWithoutDollarSigns();
    void contactMeOpensTheCommentPage();
    void aFailedLinkIsReportedAndTheBoxStays();
    void continueShowsTheMainWindowAndClosesTheBox();
    void exitOnlyClosesTheBox();
    void updateCheckAsksTheSiteAndShowsItsAnswer();

private:
    LocalHttpServer m_server;
    int m_continued = 0;
    std::unique_ptr<ScriptedMessageBox> m_boxes;
    std::unique_ptr<ErrorRecorder> m_errors;
};

void tst_AboutBox::initTestCase()
{
    QVERIFY(m_server.start());
    frmAbout::setContinueAction([this] { ++m_continued; });
}

void tst_AboutBox::init()
{
    m_boxes = std::make_unique<ScriptedMessageBox>();
    m_errors = std::make_unique<ErrorRecorder>();
}

void tst_AboutBox::cleanup()
{
    setWebSiteBase(QString());
    m_server.requestLines.clear();
    m_continued = 0;
    const QStringList left = m_boxes->leftovers() + m_errors->leftovers();
    m_errors.reset();
    m_boxes.reset();
    QVERIFY2(left.isEmpty(), qPrintable(left.join(u"; "_s)));
}

void tst_AboutBox::showsNameVersionAndTexts()
{
    frmAbout box;
    QCOMPARE(box.objectName(), u"frmAbout"_s);
    QCOMPARE(box.windowTitle(), u"About PexaResizer"_s);
    QCOMPARE(box.lblTitle->text(), u"PexaResizer"_s);
    QCOMPARE(box.lblVersion->text(), u"Version 1.0 build 38"_s);
    const QString description =
        u"This program is designed to resize photos and then upload them directly "
        u"afterwards.  No middle man.  You can resize, upload, or resize and upload."_s;
    QVERIFY(box.lblDescription->text().startsWith(description));
    QVERIFY(box.lblDescription->text().size() > description.size() + 10);
    QCOMPARE(box.Label1->text(),
             u"I will build custom applications to suit your needs, please contact me for quotes."_s);
    QCOMPARE(box.Label4->text(),
             u"USE AT YOUR OWN RISK -- DEVELOPER OWNS NO RESPONSIBILITY FOR LOSS OF FILES.  "
             u"TEST ON SMALL DIR OF FILES FIRST!!!"_s);
    QVERIFY(!box.Me->pixmap().isNull());
    QCOMPARE(box.ContactMe->text(), u"Contact Me"_s);
    QVERIFY(box.DonateBtn->text().isEmpty());
    QVERIFY(!box.DonateBtn->icon().isNull());
    QCOMPARE(box.DonateBtn->accessibleName(), u"Donate"_s);
    QVERIFY(box.DonateAmt->isEditable());
    QStringList amounts;
    for (int i = 0; i < box.DonateAmt->count(); ++i)
        amounts.append(box.DonateAmt->itemText(i));
    QCOMPARE(amounts, QStringList({u"$5.00"_s, u"$10.00"_s, u"$15.00"_s, u"$20.00"_s, u"$25.00"_s}));
    QCOMPARE(box.DonateAmt->currentText(), u"$5.00"_s);
    QCOMPARE(box.cmdOK->text(), u"Continue"_s);
    QVERIFY(box.cmdOK->isEnabled());
    for (QObject *control :
         QList<QObject *>{box.lblTitle, box.lblVersion, box.lblDescription, box.Label1, box.Label4, box.Me,
                          box.ContactMe, box.DonateAmt, box.DonateBtn, box.cmdOK})
        QCOMPARE(box.findChild<QObject *>(control->objectName()), control);
}

void tst_AboutBox::donationAddressCarriesTheAmountWithoutDollarSigns_data()
{
    QTest::addColumn<int>("item");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("amount");
    QTest::newRow("chosen $25.00") << 4 << QString() << u"25.00"_s;
    QTest::newRow("initial $5.00") << 0 << QString() << u"5.00"_s;
    QTest::newRow("typed with two dollar signs") << -1 << u"$1$2.50"_s << u"12.50"_s;
    QTest::newRow("typed plain") << -1 << u"7"_s << u"7"_s;
}

void tst_AboutBox::donationAddressCarriesTheAmountWithoutDollarSigns()
{
    QFETCH(int, item);
    QFETCH(QString, typed);
    QFETCH(QString, amount);
    RecordingUrlOpener opener;
    frmAbout box;
    box.show();
    if (item >= 0) {
        box.DonateAmt->setCurrentIndex(item);
    } else {
        box.DonateAmt->lineEdit()->clear();
        QTest::keyClicks(box.DonateAmt->lineEdit(), typed);
    }
    QTest::mouseClick(box.DonateBtn, Qt::LeftButton);

    QCOMPARE(
        opener.urls,
        QStringList(u"https://www.donations.example/cgi-bin/webscr/xclick/business=donate@pexaresizer.example"
                    u"&item_name=PexaResizer v1.0 build 38&amount="_s +
                    amount + u"&no_shipping=1&shipping=0&no_note=1&tax=0&currency_code=USD&lc=US"_s));
    QVERIFY(box.isVisible());
}

void tst_AboutBox::contactMeOpensTheCommentPage()
{
    RecordingUrlOpener opener;
    frmAbout box;
    box.show();
    QTest::mouseClick(box.ContactMe, Qt::LeftButton);
    QTest::mouseClick(box.ContactMe, Qt::LeftButton);

    // Every choice opens a browser window of its own.
    QCOMPARE(opener.urls,
             QStringList({u"http://www.pexaresizer.example/comments.php?submitted=PexaResizer"_s,
                          u"http://www.pexaresizer.example/comments.php?submitted=PexaResizer"_s}));
    QVERIFY(box.isVisible());
}

void tst_AboutBox::aFailedLinkIsReportedAndTheBoxStays()
{
    RecordingUrlOpener opener;
    opener.failUrls = true;
    frmAbout box;
    box.show();
    QTest::mouseClick(box.DonateBtn, Qt::LeftButton);
    QTest::mouseClick(box.ContactMe, Qt::LeftButton);

    QCOMPARE(m_errors->take(), QStringList({u"global/OpenURL/429"_s, u"global/OpenURL/429"_s}));
    QVERIFY(box.isVisible());
}

void tst_AboutBox::continueShowsTheMainWindowAndClosesTheBox()
{
    // The start-up box, as the entry point makes it.
    QPointer<frmAbout> box = new frmAbout;
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
    QVERIFY(QTest::qWaitForWindowExposed(box));
    QTest::mouseClick(box->cmdOK, Qt::LeftButton);

    QCOMPARE(m_continued, 1);
    QTRY_VERIFY(box.isNull());
}

void tst_AboutBox::exitOnlyClosesTheBox()
{
    // As the Help menu opens it: modal, its button reading "Exit".
    frmAbout box;
    box.cmdOK->setText(u"Exit"_s);
    QTimer::singleShot(0, &box, [&box] { QTest::mouseClick(box.cmdOK, Qt::LeftButton); });
    box.exec();

    QCOMPARE(m_continued, 0);
    QVERIFY(!box.isVisible());
}

void tst_AboutBox::updateCheckAsksTheSiteAndShowsItsAnswer()
{
    setWebSiteBase(m_server.baseAddress());
    m_server.setPage(200, "<html><body><h2>You have the newest version.</h2></body></html>");
    Browser window;
    QCOMPARE(window.objectName(), u"Browser"_s);
    QCOMPARE(window.windowTitle(), u"Update Status"_s);
    QCOMPARE(window.WebBrowser1->objectName(), u"WebBrowser1"_s);
    QCOMPARE(window.WebBrowser1->requestedAddress(),
             m_server.baseAddress() + u"/update.php?sw=PexaResizer&major=1&minor=0&build=38"_s);
    QTRY_VERIFY(!window.WebBrowser1->isLoading());

    QCOMPARE(m_server.requestLines,
             QList<QByteArray>({"GET /update.php?sw=PexaResizer&major=1&minor=0&build=38 HTTP/1.1"}));
    QCOMPARE(window.WebBrowser1->toPlainText(), u"You have the newest version."_s);
}

QTEST_MAIN(tst_AboutBox)
#include "tst_aboutbox.moc"
