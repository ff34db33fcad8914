#include "CatalogHelpers.h"
#include "Controls.h"
#include "ErrorRecorder.h"
#include "OutputLayout.h"
#include "RecordingImageProcessor.h"
#include "RecordingUrlOpener.h"
#include "ResizeActions.h"
#include "ScriptedMessageBox.h"
#include "Settings.h"
#include "TestFiles.h"
#include "VendorAddresses.h"
#include "frmDownloadIM.h"
#include "frmMain.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::Literals::StringLiterals;

class TestResizeBatch : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void percentModeResizesEachImageThenMakesItsThumbnail();
    void modeTableDecidesBetweenConvertAndCopy_data();
    void modeTableDecidesBetweenConvertAndCopy();
    void windowShowsTheStepWhileControlsAreLocked();
    void existingOutputIsSkippedButStillWeighed();
    void sizeMarkIsStrictlyAboveTheLimitAndCountsAcrossBatches();
    void cancelTakesEffectAfterTheCurrentFile();
    void exitWhenCompleteClosesTheWindowUnlessUploadFollows();
    void missingProcessorOpensTheDownloadWindowAndClosesTheMain();
    void downloadWindowAsksBeforeClosingTheProgram();
    void batchWithoutConversionsNeedsNoProcessor();
    void failedConversionsLeaveNoOutputAndACopiedThumbnail();
    void imageRootRecurringInsideAPathIsKept();
    void unexpectedErrorLeavesTheWindowUsable();
    void emptyThumbnailPrefixWritesNoThumbnail();
    void destinationAtOrInsideTheImageRootIsRefused();
    void emptyListRunsOnlyTheEndSteps();
    void onlyOneRunAtATime();
    void limitIsCheckedWhenResizeIsClicked();
    void realProcessorWritesTheResizedImages();
    void webOptionsStoredAtTheStartReachEveryConversionAndCopy();
    void limitTestsSeeTheUprightSizeWhenPicturesAreTurned();
    void galleryPagesFollowAFinishedBatchOnly();

private:
    QString makeImage(const QString &relative, int width, int height);
    QString makeFile(const QString &relative, qsizetype bytes);
    void addEntries(const QStringList &paths, int ticked = -1);
    void setMode(const QString &mode, const QString &limit = u"600W"_s,
                 const QString &thumbnails = u"Disabled"_s);
    void clickResize();
    QString out(const QString &relative) const { return m_dest + u'/' + relative; }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ScriptedMessageBox> m_boxes;
    std::unique_ptr<ErrorRecorder> m_errors;
    std::unique_ptr<RecordingImageProcessor> m_processor;
    std::unique_ptr<frmMain> m_form;
    QString m_root;
    QString m_dest;
};

void TestResizeBatch::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir().mkpath(m_dir->path() + u"/settings"_s));
    SettingsLocation::setFolderOverride(m_dir->path() + u"/settings"_s);
    m_boxes = std::make_unique<ScriptedMessageBox>();
    m_errors = std::make_unique<ErrorRecorder>();
    m_processor = std::make_unique<RecordingImageProcessor>();
    m_root = m_dir->path() + u"/photos"_s;
    m_dest = m_dir->path() + u"/web"_s;
    QVERIFY(QDir().mkpath(m_root));
    m_form = std::make_unique<frmMain>();
    m_form->show();
    control<QLineEdit>(*m_form, u"txtImgRootPath")->setText(m_root);
    m_form->runState().FileLimit = 32768;
    control<QListView>(*m_form, u"List1")->setEnabled(true);
}

void TestResizeBatch::cleanup()
{
    m_form.reset();
    if (frmDownloadIM *window = frmDownloadIM::current())
        delete window;
    m_processor.reset();
    const QStringList left = m_boxes->leftovers() + m_errors->leftovers();
    m_errors.reset();
    m_boxes.reset();
    SettingsLocation::setFolderOverride(QString());
    m_dir.reset();
    QVERIFY2(left.isEmpty(), qPrintable(left.join(u"; "_s)));
}

QString TestResizeBatch::makeImage(const QString &relative, int width, int height)
{
    const QString path = m_root + u'/' + relative;
    QDir().mkpath(QFileInfo(path).path());
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    if (!image.save(path))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QString TestResizeBatch::makeFile(const QString &relative, qsizetype bytes)
{
    const QString path = m_root + u'/' + relative;
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray(bytes, 'b')) != bytes)
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void TestResizeBatch::addEntries(const QStringList &paths, int ticked)
{
    // What a scan leaves behind: checkable entries, the count, and the destination set after.
    QList<bool> ticks(paths.size(), false);
    if (ticked >= 0)
        ticks[ticked] = true;
    showCatalog(*m_form, catalogOf(paths, ticks));
    m_form->runState().ImagesFound = paths.size();
    control<QLineEdit>(*m_form, u"txtFDestin")->setText(m_dest);
}

void TestResizeBatch::setMode(const QString &mode, const QString &limit, const QString &thumbnails)
{
    control<QComboBox>(*m_form, u"cmbMode")->setEditText(mode);
    control<QLineEdit>(*m_form, u"txtRSizeLimit")->setText(limit);
    control<QComboBox>(*m_form, u"cmbTNSize")->setEditText(thumbnails);
    control<QComboBox>(*m_form, u"cmbResizePct")->setEditText(u"25"_s);
}

void TestResizeBatch::clickResize()
{
    QVERIFY(control<QPushButton>(*m_form, u"cmdResize")->isEnabled());
    QTest::mouseClick(control<QPushButton>(*m_form, u"cmdResize"), Qt::LeftButton);
}

void TestResizeBatch::percentModeResizesEachImageThenMakesItsThumbnail()
{
    const QString a = makeImage(u"2008/June/a.png"_s, 40, 30);
    const QString b = makeImage(u"b.png"_s, 40, 30);
    addEntries({a, b});
    setMode(u"All to Pct"_s, u"600W"_s, u"100x100"_s);
    control<QLineEdit>(*m_form, u"txtTNPrefix")->setText(u"tn_"_s);
    clickResize();

    QCOMPARE(m_processor->summary(),
             QStringList({u"-resize=25%x25% %1 %2"_s.arg(a, out(u"2008/June/a.png"_s)),
                          u"-resize=100x100 %1 %2"_s.arg(a, out(u"2008/June/tn_a.png"_s)),
                          u"-resize=25%x25% %1 %2"_s.arg(b, out(u"b.png"_s)),
                          u"-resize=100x100 %1 %2"_s.arg(b, out(u"tn_b.png"_s))}));
    QCOMPARE(m_processor->availabilityChecks, 1);
    // Every conversion was announced before it was asked for, so a processor could start early.
    for (const RecordingImageProcessor::Call &call : m_processor->calls) {
        bool announced = false;
        for (const RecordingImageProcessor::Call &hint : m_processor->prepared)
            announced = announced || (hint.option == call.option && hint.source == call.source &&
                                      hint.target == call.target);
        QVERIFY2(announced, qPrintable(call.target));
    }
    QCOMPARE(control<QLabel>(*m_form, u"Label1")->text(), u"2 images out of 2 files completed!"_s);
    QCOMPARE(m_form->windowTitle(), u"Pexa Resizer"_s);
    QCOMPARE(control<QPushButton>(*m_form, u"cmdExit")->text(), u"Exit"_s);
    QCOMPARE(m_boxes->take(), QStringList());
    QCOMPARE(m_errors->summary(), QStringList());
}

void TestResizeBatch::modeTableDecidesBetweenConvertAndCopy_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("limit");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("ticked");
    QTest::addColumn<QString>("option");
    QTest::newRow("all to pct") << u"All to Pct"_s << u"600W"_s << QSize(40, 30) << false
                                << u"-resize=25%x25%"_s;
    QTest::newRow("exceed to pct, inside")
        << u"Exceed Limit to Pct"_s << u"600W"_s << QSize(600, 30) << false << QString();
    QTest::newRow("exceed to pct, above")
        << u"Exceed Limit to Pct"_s << u"600W"_s << QSize(601, 30) << false << u"-resize=25%x25%"_s;
    QTest::newRow("all to limit enlarges")
        << u"All to Limit"_s << u"600W"_s << QSize(400, 300) << false << u"-resize=600x450"_s;
    QTest::newRow("all to limit, fraction")
        << u"All to Limit"_s << u"600W"_s << QSize(1023, 767) << false << u"-resize=600x449.853372434018"_s;
    QTest::newRow("all to limit by height")
        << u"All to Limit"_s << u"800H"_s << QSize(1200, 600) << false << u"-resize=1600x800"_s;
    QTest::newRow("exceed to limit, inside")
        << u"Exceed Limit to Limit"_s << u"800H"_s << QSize(1200, 600) << false << QString();
    QTest::newRow("exceed to limit, lower case") << u"Exceed Limit to Limit"_s << u"600w"_s << QSize(700, 100)
                                                 << false << u"-resize=600x85.7142857142857"_s;
    QTest::newRow("both letters, height above") << u"Exceed Limit to Limit"_s << u"600WH"_s << QSize(500, 700)
                                                << false << u"-resize=428.571428571429x600"_s;
    QTest::newRow("ticked is copied") << u"All to Pct"_s << u"600W"_s << QSize(4000, 30) << true << QString();
}

void TestResizeBatch::modeTableDecidesBetweenConvertAndCopy()
{
    QFETCH(QString, mode);
    QFETCH(QString, limit);
    QFETCH(QSize, size);
    QFETCH(bool, ticked);
    QFETCH(QString, option);
    const QString source = makeImage(u"set/picture.png"_s, size.width(), size.height());
    addEntries({source}, ticked ? 0 : -1);
    setMode(mode, limit);
    QSignalSpy captions(m_form.get(), &QWidget::windowTitleChanged);
    clickResize();

    const QString output = out(u"set/picture.png"_s);
    if (option.isEmpty()) {
        QCOMPARE(m_processor->summary(), QStringList());
        QCOMPARE(readFile(output), readFile(source));
        QCOMPARE(captions.at(1).at(0).toString(), u"Copying "_s + source);
    } else {
        QCOMPARE(m_processor->summary(), QStringList{u"%1 %2 %3"_s.arg(option, source, output)});
        QCOMPARE(captions.at(1).at(0).toString(), u"Resizing "_s + source);
    }
    QCOMPARE(captions.at(0).at(0).toString(), u"Processing "_s + source);
    // Afterwards the tick only tells whether the output is over the upload limit.
    QCOMPARE(shownTicks(control<QListView>(*m_form, u"List1")).at(0), Qt::Unchecked);
    QCOMPARE(m_errors->summary(), QStringList());
}

void TestResizeBatch::windowShowsTheStepWhileControlsAreLocked()
{
    const QString source = makeImage(u"a.png"_s, 40, 30);
    addEntries({source});
    setMode(u"All to Pct"_s);
    QStringList seen;
    m_processor->onConvert = [&](const RecordingImageProcessor::Call &) {
        seen << m_form->windowTitle() << control<QPushButton>(*m_form, u"cmdExit")->text();
        for (QWidget *widget : m_form->findChildren<QWidget *>()) {
            if (widget->isEnabled() &&
                (qobject_cast<QPushButton *>(widget) || qobject_cast<QComboBox *>(widget) ||
                 qobject_cast<QCheckBox *>(widget) ||
                 QStringList{u"List1"_s, u"txtRSizeLimit"_s, u"txtTNPrefix"_s}.contains(
                     widget->objectName())))
                seen << widget->objectName();
        }
    };
    clickResize();
    // "Exit when complete" stays usable: it is read only at the end.
    QCOMPARE(seen, QStringList({u"Resizing "_s + source, u"Cancel"_s, u"cmdExit"_s, u"chkExit"_s}));
}

void TestResizeBatch::existingOutputIsSkippedButStillWeighed()
{
    const QString source = makeImage(u"a.png"_s, 40, 30);
    QVERIFY(QDir().mkpath(m_dest));
    QFile existing(out(u"a.png"_s));
    QVERIFY(existing.open(QIODevice::WriteOnly));
    existing.write(QByteArray(10 * 1024 + 1, 'e'));
    existing.close();
    addEntries({source});
    setMode(u"All to Pct"_s, u"600W"_s, u"50x50"_s);
    control<QComboBox>(*m_form, u"cmbFTPSizeLimit")->setEditText(u"10"_s);
    control<QCheckBox>(*m_form, u"chkRecreate")->setChecked(false);
    QSignalSpy captions(m_form.get(), &QWidget::windowTitleChanged);
    clickResize();

    QCOMPARE(captions.at(1).at(0).toString(), u"Skipping "_s + source);
    QCOMPARE(m_processor->summary(), QStringList());
    QVERIFY(!QFile::exists(out(u"tn_a.png"_s)));
    QCOMPARE(shownTicks(control<QListView>(*m_form, u"List1")).at(0), Qt::Checked);
    QCOMPARE(m_form->runState().OverLimitCount, int16_t(1));
    QCOMPARE(m_boxes->take(), QStringList{u"1 file marked to not upload due to FTP Size Limit!!"_s});
    QCOMPARE(m_boxes->shown()[0].title, u"FTP Size Limit"_s);
    QCOMPARE(m_boxes->shown()[0].icon, MessageBoxService::Icon::Information);
}

void TestResizeBatch::sizeMarkIsStrictlyAboveTheLimitAndCountsAcrossBatches()
{
    // Not images: the dimension reader gives 0 x 0, so the rules copy them unchanged.
    const QString exact = makeFile(u"exact.jpg"_s, 1024);
    const QString above = makeFile(u"above.jpg"_s, 1025);
    addEntries({exact, above});
    setMode(u"Exceed Limit to Pct"_s);
    control<QComboBox>(*m_form, u"cmbFTPSizeLimit")->setEditText(u"1"_s);
    clickResize();
    QCOMPARE(shownTicks(control<QListView>(*m_form, u"List1")).at(0), Qt::Unchecked);
    QCOMPARE(shownTicks(control<QListView>(*m_form, u"List1")).at(1), Qt::Checked);
    QCOMPARE(ticksOf(catalogOf(*m_form)), (QList<bool>{false, true}));
    QCOMPARE(m_boxes->take(), QStringList{u"1 file marked to not upload due to FTP Size Limit!!"_s});

    // A second batch on the same scan copies the marked entry as it is and counts it again.
    clickResize();
    QCOMPARE(m_form->runState().OverLimitCount, int16_t(2));
    QCOMPARE(m_boxes->take(), QStringList{u"2 files marked to not upload due to FTP Size Limit!!"_s});
    QCOMPARE(control<QLabel>(*m_form, u"Label1")->text(), u"2 images out of 2 files completed!"_s);
}

void TestResizeBatch::cancelTakesEffectAfterTheCurrentFile()
{
    const QString a = makeImage(u"a.png"_s, 40, 30);
    const QString b = makeImage(u"b.png"_s, 40, 30);
    addEntries({a, b}, 1);
    setMode(u"All to Pct"_s, u"600W"_s, u"100x100"_s);
    control<QLineEdit>(*m_form, u"txtTNPrefix")->setText(u"tn_"_s);
    control<QComboBox>(*m_form, u"cmbFTPSizeLimit")->setEditText(u"0"_s);
    m_processor->onConvert = [&](const RecordingImageProcessor::Call &call) {
        if (call.option.startsWith(u"-resize=25"_s))
            QTest::mouseClick(control<QPushButton>(*m_form, u"cmdExit"), Qt::LeftButton);
    };
    clickResize();

    QCOMPARE(m_processor->calls.size(), 2);
    QCOMPARE(m_processor->calls[1].target, out(u"tn_a.png"_s));
    QVERIFY(!QFile::exists(out(u"b.png"_s)));
    QCOMPARE(shownTicks(control<QListView>(*m_form, u"List1")).at(0), Qt::Checked);
    QCOMPARE(shownTicks(control<QListView>(*m_form, u"List1")).at(1), Qt::Checked);
    QCOMPARE(control<QLabel>(*m_form, u"Label1")->text(), u"1 images out of 2 files completed!"_s);
    QCOMPARE(m_boxes->take(), QStringList{u"Cancelled!!"_s});
    QCOMPARE(m_boxes->shown()[0].title, u"PexaResizer"_s);
    QCOMPARE(m_boxes->shown()[0].icon, MessageBoxService::Icon::None);
    QVERIFY(m_form->isVisible());
    QCOMPARE(control<QPushButton>(*m_form, u"cmdExit")->text(), u"Exit"_s);
}

void TestResizeBatch::exitWhenCompleteClosesTheWindowUnlessUploadFollows()
{
    addEntries({makeFile(u"big.jpg"_s, 2048)});
    setMode(u"Exceed Limit to Pct"_s);
    control<QComboBox>(*m_form, u"cmbFTPSizeLimit")->setEditText(u"1"_s);
    control<QCheckBox>(*m_form, u"chkExit")->setChecked(true);
    m_form->runState().ResizeUploadActive = true;
    QVERIFY(m_form->tryBeginRun());
    m_form->resizeActions()->runResizeBatch();
    m_form->endRun();
    QVERIFY(m_form->isVisible());
    QCOMPARE(m_boxes->take(), QStringList{u"1 file marked to not upload due to FTP Size Limit!!"_s});

    m_form->runState().ResizeUploadActive = false;
    clickResize();
    QVERIFY(!m_form->isVisible());
    QCOMPARE(m_boxes->take(), QStringList());
    QVERIFY(!control<QPushButton>(*m_form, u"cmdALL")->isEnabled());
}

void TestResizeBatch::missingProcessorOpensTheDownloadWindowAndClosesTheMain()
{
    const QString a = makeImage(u"a.png"_s, 40, 30);
    addEntries({a, makeImage(u"b.png"_s, 40, 30)});
    setMode(u"All to Pct"_s);
    m_processor->missing = true;
    clickResize();

    QCOMPARE(m_processor->calls.size(), 0);
    QVERIFY(!m_form->isVisible());
    QVERIFY(!QFile::exists(out(u"a.png"_s)));
    QCOMPARE(m_boxes->take(), QStringList());
    QCOMPARE(m_errors->summary(), QStringList());
    frmDownloadIM *window = frmDownloadIM::current();
    QVERIFY(window);
    QVERIFY(window->isVisible());
    QCOMPARE(window->windowTitle(), u"ImageMagick is Required!!"_s);
    QVERIFY(window->Label1->text().startsWith(
        u"To be able to use PexaResizer you need to download and install ImageMagick.  You may get my "
        u"version "
        u"(which at compile time was 'ImageMagick-6.3.1-5-Q16-windows-dll.exe')."_s));
    QVERIFY(window->Label1->text().contains(QString::fromUtf16(VendorAddresses::ImageMagickProjectHost)));
    QVERIFY(window->Label1->text().endsWith(
        u"Be aware that if the version you are using is NOT what I am using, then I cannot guarantee it will work."_s));
    QVERIFY(
        window->Label2->text().startsWith(u"During the ImageMagick install MAKE sure you select the bottom "
                                          u"option on the dialog pictured below."_s));
    QCOMPARE(window->Picture1->pixmap().size(), QSize(503, 392));
    QCOMPARE(window->cmdDownloadIM_org->text(), u"Download from www.imagemagick.example"_s);
    QCOMPARE(window->cmdGetIM->text(), u"Download from www.pexaresizer.example"_s);
    QCOMPARE(window->cmdExit->text(), u"Exit"_s);
}

void TestResizeBatch::downloadWindowAsksBeforeClosingTheProgram()
{
    RecordingUrlOpener urls;
    frmDownloadIM *window = frmDownloadIM::showWindow();
    QCOMPARE(frmDownloadIM::showWindow(), window);

    m_boxes->setNextAnswer(MessageBoxService::Answer::No);
    m_boxes->setNextAnswer(MessageBoxService::Answer::No);
    QTest::mouseClick(window->cmdDownloadIM_org, Qt::LeftButton);
    QTest::mouseClick(window->cmdDownloadIM_org, Qt::LeftButton);
    QCOMPARE(urls.urls, QStringList(2, u"http://www.imagemagick.example/script/download.php"_s));
    QCOMPARE(m_boxes->take(), QStringList(2, u"Have you written those instructions down?"_s));
    QCOMPARE(m_boxes->shown()[0].title, u"Closing Pexa Resizer"_s);
    QCOMPARE(m_boxes->shown()[0].icon, MessageBoxService::Icon::Information);
    QCOMPARE(m_boxes->shown()[0].buttons, MessageBoxService::Buttons::YesNo);
    QVERIFY(window->isVisible());
    QVERIFY(m_form->isVisible());

    m_boxes->setNextAnswer(MessageBoxService::Answer::No);
    QTest::mouseClick(window->cmdExit, Qt::LeftButton);
    QCOMPARE(m_boxes->take(), QStringList{u"Are you sure you want to exit?"_s});
    QVERIFY(window->isVisible());
    QVERIFY(m_form->isVisible());

    m_boxes->setNextAnswer(MessageBoxService::Answer::Yes);
    QPointer<frmDownloadIM> guard(window);
    QTest::mouseClick(window->cmdGetIM, Qt::LeftButton);
    QCOMPARE(m_boxes->take(), QStringList{u"Have you written those instructions down?"_s});
    QCOMPARE(urls.urls.last(), u"http://www.pexaresizer.example/files/support/ImageMagick.exe"_s);
    QVERIFY(!m_form->isVisible());
    QTRY_VERIFY(!guard);

    urls.failUrls = true;
    window = frmDownloadIM::showWindow();
    QTest::mouseClick(window->cmdDownloadIM_org, Qt::LeftButton);
    QCOMPARE(m_errors->take(), QStringList{u"global/OpenURL/429"_s});
    // The question comes even though no browser opened.
    QCOMPARE(m_boxes->take(), QStringList{u"Have you written those instructions down?"_s});
    QVERIFY(window->isVisible());
}

void TestResizeBatch::batchWithoutConversionsNeedsNoProcessor()
{
    const QString small = makeImage(u"small.png"_s, 40, 30);
    addEntries({small});
    setMode(u"Exceed Limit to Limit"_s);
    m_processor->missing = true;
    clickResize();
    QCOMPARE(m_processor->availabilityChecks, 0);
    QCOMPARE(readFile(out(u"small.png"_s)), readFile(small));
    QVERIFY(!frmDownloadIM::current());
    QVERIFY(m_form->isVisible());
}

void TestResizeBatch::failedConversionsLeaveNoOutputAndACopiedThumbnail()
{
    const QString source = makeImage(u"a.png"_s, 40, 30);
    addEntries({source});
    setMode(u"All to Pct"_s, u"600W"_s, u"20x20"_s);
    control<QLineEdit>(*m_form, u"txtTNPrefix")->setText(u"tn_"_s);
    m_processor->failing = true;
    clickResize();
    QCOMPARE(m_processor->calls.size(), 2);
    QVERIFY(!QFile::exists(out(u"a.png"_s)));
    QCOMPARE(readFile(out(u"tn_a.png"_s)), readFile(source));
    QCOMPARE(m_errors->take(), QStringList{u"frmMain/GetFSize/53"_s});
    QCOMPARE(shownTicks(control<QListView>(*m_form, u"List1")).at(0), Qt::Unchecked);
    QCOMPARE(control<QLabel>(*m_form, u"Label1")->text(), u"1 images out of 1 files completed!"_s);

    // A mode nobody knows converts nothing, though the image is above the limit.
    m_processor->calls.clear();
    m_processor->failing = false;
    setMode(u"Exceed Limit to Pc"_s, u"10W"_s);
    clickResize();
    QCOMPARE(m_processor->calls.size(), 0);
    QCOMPARE(m_processor->availabilityChecks, 2);
    QCOMPARE(m_errors->take(), QStringList{u"frmMain/GetFSize/53"_s});
}

void TestResizeBatch::imageRootRecurringInsideAPathIsKept()
{
    const QString source = makeImage(u"2008/photos/a.png"_s, 40, 30);
    addEntries({source});
    setMode(u"Exceed Limit to Pct"_s);
    clickResize();
    QVERIFY(QFile::exists(out(u"2008/photos/a.png"_s)));
    QCOMPARE(QDir(m_dest + u"/2008"_s).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{u"photos"_s});

    // The image root given with a trailing separator joins the same way.
    QDir(m_dest).removeRecursively();
    control<QLineEdit>(*m_form, u"txtImgRootPath")->setText(m_root + u'/');
    clickResize();
    QVERIFY(QFile::exists(out(u"2008/photos/a.png"_s)));
}

void TestResizeBatch::unexpectedErrorLeavesTheWindowUsable()
{
    addEntries({makeImage(u"a.png"_s, 40, 30), makeImage(u"b.png"_s, 40, 30)});
    setMode(u"Exceed Limit to Pct"_s);
    control<QComboBox>(*m_form, u"cmbFTPSizeLimit")->setEditText(u"lots"_s);
    clickResize();
    QCOMPARE(m_errors->take(), QStringList{u"frmMain/cmdResize_Click/13"_s});
    QVERIFY(QFile::exists(out(u"a.png"_s)));
    QVERIFY(!QFile::exists(out(u"b.png"_s)));
    QCOMPARE(control<QPushButton>(*m_form, u"cmdExit")->text(), u"Exit"_s);
    QCOMPARE(m_form->windowTitle(), u"Pexa Resizer"_s);
    QCOMPARE(wrongControls(*m_form, Enabled::Ready), QString());
    QCOMPARE(m_boxes->take(), QStringList());
    QVERIFY(!m_form->runActive());
}

void TestResizeBatch::emptyThumbnailPrefixWritesNoThumbnail()
{
    const QString source = makeImage(u"a.png"_s, 40, 30);
    addEntries({source});
    setMode(u"All to Pct"_s, u"600W"_s, u"100x100"_s);
    control<QLineEdit>(*m_form, u"txtTNPrefix")->clear();
    clickResize();
    QCOMPARE(m_processor->summary(), QStringList{u"-resize=25%x25% %1 %2"_s.arg(source, out(u"a.png"_s))});
    QCOMPARE(readFile(out(u"a.png"_s)), QByteArray(100, 'x'));
    QCOMPARE(QDir(m_dest).entryList(QDir::Files | QDir::Hidden), QStringList{u"a.png"_s});
}

void TestResizeBatch::destinationAtOrInsideTheImageRootIsRefused()
{
    const QString source = makeImage(u"a.png"_s, 40, 30);
    const QByteArray before = readFile(source);
    addEntries({source});
    setMode(u"All to Pct"_s);
    QVERIFY(QFile::link(m_root, m_dir->path() + u"/link"_s));
    for (const QString &destination :
         {m_root, m_root + u"/"_s, m_root + u"/../photos"_s, m_dir->path() + u"/link"_s}) {
        control<QLineEdit>(*m_form, u"txtFDestin")->setText(destination);
        clickResize();
        QCOMPARE(m_boxes->take(), QStringList{u"Destination must differ from the image root!!"_s});
        QCOMPARE(m_boxes->shown().last().title, u"PexaResizer"_s);
        QCOMPARE(m_boxes->shown().last().icon, MessageBoxService::Icon::Critical);
    }
    // Inside the root the outputs would overwrite photos of a sub-folder, and the next scan
    // would list them as photos. A sibling whose name only starts like the root is outside.
    QVERIFY(QDir().mkpath(m_root + u"/2008"_s));
    QVERIFY(QFile::link(m_root + u"/2008"_s, m_dir->path() + u"/inner"_s));
    for (const QString &destination :
         {m_root + u"/2008"_s, m_root + u"/web/new"_s, m_dir->path() + u"/inner"_s}) {
        control<QLineEdit>(*m_form, u"txtFDestin")->setText(destination);
        clickResize();
        QCOMPARE(m_boxes->take(), QStringList{u"Destination must be outside the image root!!"_s});
        QCOMPARE(m_boxes->shown().last().title, u"PexaResizer"_s);
        // Resize & Upload stops at the refusal: nothing is uploaded either.
        QTest::mouseClick(control<QPushButton>(*m_form, u"cmdResize_Upload"), Qt::LeftButton);
        QCOMPARE(m_boxes->take(), QStringList{u"Destination must be outside the image root!!"_s});
    }
    QVERIFY(!QFileInfo::exists(m_root + u"/web"_s));
    QCOMPARE(m_processor->calls.size(), 0);
    QCOMPARE(readFile(source), before);
    control<QLineEdit>(*m_form, u"txtFDestin")->setText(m_root + u"-web"_s);
    clickResize();
    QCOMPARE(m_processor->calls.size(), 1);
    QCOMPARE(readFile(source), before);
    QCOMPARE(wrongControls(*m_form, Enabled::Ready), QString());
    QCOMPARE(control<QPushButton>(*m_form, u"cmdExit")->text(), u"Exit"_s);
    QVERIFY(!m_form->runActive());
}

void TestResizeBatch::emptyListRunsOnlyTheEndSteps()
{
    control<QLineEdit>(*m_form, u"txtFDestin")->setText(m_dest);
    QVERIFY(m_form->tryBeginRun());
    QCOMPARE(m_form->resizeActions()->runResizeBatch(), ResizeActions::BatchResult::Finished);
    m_form->endRun();
    QCOMPARE(control<QLabel>(*m_form, u"Label1")->text(), QString());
    QCOMPARE(wrongControls(*m_form, Enabled::Listed), QString());
    QCOMPARE(control<QPushButton>(*m_form, u"cmdExit")->text(), u"Exit"_s);
}

void TestResizeBatch::onlyOneRunAtATime()
{
    addEntries({makeImage(u"a.png"_s, 40, 30)});
    setMode(u"All to Pct"_s);
    QVERIFY(m_form->tryBeginRun());
    QTest::mouseClick(control<QPushButton>(*m_form, u"cmdResize"), Qt::LeftButton);
    QCOMPARE(m_processor->calls.size(), 0);
    QCOMPARE(control<QPushButton>(*m_form, u"cmdExit")->text(), u"Exit"_s);
    m_form->endRun();
}

void TestResizeBatch::limitIsCheckedWhenResizeIsClicked()
{
    auto *txtRSizeLimit = control<QLineEdit>(*m_form, u"txtRSizeLimit");
    const QString source = makeImage(u"a.png"_s, 800, 10);
    addEntries({source});
    setMode(u"Exceed Limit to Limit"_s);
    QApplication::setActiveWindow(m_form.get());
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    txtRSizeLimit->setFocus();
    txtRSizeLimit->clear();
    QTest::keyClicks(txtRSizeLimit, u"400"_s);
    clickResize();
    QCOMPARE(m_boxes->take(), QStringList{u"No W or H Modifier!!"_s});
    QCOMPARE(m_processor->summary(), QStringList{u"-resize=400x5 %1 %2"_s.arg(source, out(u"a.png"_s))});
}

void TestResizeBatch::realProcessorWritesTheResizedImages()
{
    m_processor.reset();
    const QString a = makeImage(u"nested/a.jpg"_s, 400, 300);
    const QString b = makeImage(u"b.png"_s, 200, 100);
    addEntries({a, b});
    setMode(u"All to Limit"_s, u"100W"_s, u"30x30"_s);
    control<QLineEdit>(*m_form, u"txtTNPrefix")->setText(u"t_"_s);
    clickResize();
    QCOMPARE(m_errors->summary(), QStringList());
    QCOMPARE(QImage(out(u"nested/a.jpg"_s)).size(), QSize(100, 75));
    QCOMPARE(QImage(out(u"nested/t_a.jpg"_s)).size(), QSize(30, 23));
    QCOMPARE(QImage(out(u"b.png"_s)).size(), QSize(100, 50));
    QCOMPARE(QImage(out(u"t_b.png"_s)).size(), QSize(30, 15));
    QCOMPARE(QDir(m_dest).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList({u"b.png"_s, u"nested"_s, u"t_b.png"_s}));
}

void TestResizeBatch::webOptionsStoredAtTheStartReachEveryConversionAndCopy()
{
    const QString big = makeImage(u"big.png"_s, 800, 30);
    const QString small = makeImage(u"small.png"_s, 40, 30);
    const QString ticked = makeImage(u"ticked.png"_s, 900, 30);
    addEntries({big, small, ticked}, 2);
    setMode(u"Exceed Limit to Pct"_s, u"600W"_s, u"20x20"_s);
    control<QLineEdit>(*m_form, u"txtTNPrefix")->setText(u"tn_"_s);

    // All off: the copies are the files' bytes, and nothing is offered to the processor.
    clickResize();
    QCOMPARE(m_processor->webCopies, QStringList());
    QCOMPARE(m_processor->webOptions, QList<WebCopyOptions>(4));
    QCOMPARE(readFile(out(u"small.png"_s)), readFile(small));

    WriteIniValue(SettingKeys::WebStripPrivate, u"1"_s);
    WriteIniValue(SettingKeys::WebAutoOrient, u"1"_s);
    WriteIniValue(SettingKeys::WebFastDecode, u"1"_s);
    m_processor->webOptions.clear();
    m_processor->copyResult = ImageProcessor::CopyResult::Written;
    // After a batch the tick tells the size mark; here it is put back to mean copy.
    auto tick = [&] { tickRow(control<QListView>(*m_form, u"List1"), 2); };
    tick();
    clickResize();
    const WebCopyOptions chosen{true, true, false, true};
    QCOMPARE(m_processor->webOptions, QList<WebCopyOptions>(4, chosen));
    // Plain copies, ticked or within the limit, go through the processor, which writes them.
    QCOMPARE(m_processor->webCopies, (QStringList{u"%1 %2 pof"_s.arg(small, out(u"small.png"_s)),
                                                  u"%1 %2 pof"_s.arg(ticked, out(u"ticked.png"_s))}));
    QCOMPARE(readFile(out(u"small.png"_s)), QByteArray("edited copy"));

    // A file with nothing to change, or one the processor cannot read, is copied as it is.
    for (const ImageProcessor::CopyResult result :
         {ImageProcessor::CopyResult::Unchanged, ImageProcessor::CopyResult::Failed}) {
        m_processor->copyResult = result;
        tick();
        clickResize();
        QCOMPARE(readFile(out(u"small.png"_s)), readFile(small));
        QCOMPARE(readFile(out(u"ticked.png"_s)), readFile(ticked));
    }
    QCOMPARE(m_errors->summary(), QStringList());
}

void TestResizeBatch::limitTestsSeeTheUprightSizeWhenPicturesAreTurned()
{
    // Stored 400 wide and 800 high, shown turned a quarter: 800 wide as a viewer sees it.
    const QString source = m_root + u"/phone.jpg"_s;
    QImage stored(400, 800, QImage::Format_RGB32);
    stored.fill(Qt::darkCyan);
    QVERIFY(stored.save(source));
    QProcess exiftool;
    exiftool.start(u"/usr/bin/exiftool"_s, {u"-q"_s, u"-overwrite_original"_s, u"-Orientation#=6"_s, source});
    QVERIFY(exiftool.waitForFinished() && exiftool.exitCode() == 0);
    addEntries({source});
    setMode(u"Exceed Limit to Limit"_s, u"600W"_s);

    clickResize();
    QCOMPARE(m_processor->summary(), QStringList());
    QCOMPARE(readFile(out(u"phone.jpg"_s)), readFile(source));

    WriteIniValue(SettingKeys::WebAutoOrient, u"1"_s);
    clickResize();
    QCOMPARE(m_processor->summary(),
             QStringList{u"-resize=600x300 %1 %2"_s.arg(source, out(u"phone.jpg"_s))});
}

void TestResizeBatch::galleryPagesFollowAFinishedBatchOnly()
{
    const QString small = makeImage(u"trip/small.png"_s, 40, 30);
    const QString big = makeFile(u"trip/big.jpg"_s, 2048);
    const QString top = makeImage(u"top.png"_s, 40, 30);
    addEntries({small, big, top});
    setMode(u"Exceed Limit to Pct"_s);
    control<QComboBox>(*m_form, u"cmbFTPSizeLimit")->setEditText(u"1"_s);
    control<QCheckBox>(*m_form, u"chkRecreate")->setChecked(true);
    WriteIniValue(SettingKeys::WebPages, u"1"_s);
    WriteIniValue(SettingKeys::WebTitle, u"Summer"_s);
    WriteIniValue(SettingKeys::WebPageName, u"album.html"_s);

    clickResize();
    QCOMPARE(m_boxes->take(), QStringList{u"1 file marked to not upload due to FTP Size Limit!!"_s});
    QCOMPARE(m_errors->summary(), QStringList());
    QStringList previews;
    for (const QString &picture : {u"top.png"_s, u"trip/big.jpg"_s, u"trip/small.png"_s}) {
        for (const int width : OutputLayout::PreviewWidths)
            previews.append(OutputLayout::previewName(picture, width));
    }
    // Each shown picture has a page of its own; the one too large to upload is not shown.
    QStringList written{u"album.html"_s,         u"pexa-gallery.css"_s,         u"top.png"_s,
                        u"top.png.album.html"_s, u"trip/album.html"_s,          u"trip/big.jpg"_s,
                        u"trip/small.png"_s,     u"trip/small.png.album.html"_s};
    written += previews;
    written.sort();
    QCOMPARE(filesBelow(m_dest), written);
    // A picture copied as it is gets its previews from its own decode, each at most as large as
    // the picture, upright and for the web.
    const qsizetype call = m_processor->calls.indexOf(
        RecordingImageProcessor::Call{u"-resize=600x1800>"_s, small, out(u"trip/small.png.600w.png"_s)});
    QVERIFY(call >= 0);
    QVERIFY(m_processor->webOptions.at(call).preview);
    QCOMPARE(m_processor->webOptions.at(call).previewOf, QString());
    // The picture too large to upload would be missing online: its page leaves it out.
    const QByteArray trip = readFile(out(u"trip/album.html"_s));
    QVERIFY(
        trip.contains("<a href=\"small.png.album.html\"><img src=\"small.png\" width=\"40\" height=\"30\""));
    QVERIFY(!trip.contains("big.jpg"));
    QVERIFY(trip.contains("<a href=\"../album.html\">Summer</a>"));
    const QByteArray home = readFile(out(u"album.html"_s));
    QVERIFY(home.contains("<a href=\"trip/album.html\">"));
    QVERIFY(home.contains("<a href=\"top.png.album.html\">"));
    QCOMPARE(m_form->windowTitle(), u"Pexa Resizer"_s);

    // Cancelled at its first conversion: the pages stay those of the last whole batch.
    setMode(u"All to Pct"_s);
    m_processor->onConvert = [&](const RecordingImageProcessor::Call &) {
        QTest::mouseClick(control<QPushButton>(*m_form, u"cmdExit"), Qt::LeftButton);
    };
    clickResize();
    QCOMPARE(m_boxes->take(), QStringList{u"Cancelled!!"_s});
    QCOMPARE(readFile(out(u"trip/album.html"_s)), trip);

    // Pages off: a whole batch writes none.
    m_processor->onConvert = nullptr;
    WriteIniValue(SettingKeys::WebPages, u"0"_s);
    for (const QString &page : QStringList{u"album.html"_s, u"pexa-gallery.css"_s, u"trip/album.html"_s,
                                           u"top.png.album.html"_s, u"trip/small.png.album.html"_s} +
                                   previews)
        QVERIFY(QFile::remove(out(page)));
    tickRow(control<QListView>(*m_form, u"List1"), 1, false);
    clickResize();
    m_boxes->take();
    QCOMPARE(filesBelow(m_dest), (QStringList{u"top.png"_s, u"trip/big.jpg"_s, u"trip/small.png"_s}));
}

QTEST_MAIN(TestResizeBatch)
#include "tst_resizebatch.moc"
