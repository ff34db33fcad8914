#include "CatalogActions.h"
#include "Settings.h"
#include "WindowTestEnvironment.h"
#include "frmMain.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString CheckTip =
    u"Unchecked - Follow Rule Below / Checked - Just copy file: Do not follow rule below."_s;

void touch(const QString &path, const QByteArray &content = QByteArray())
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write(content);
}

QStringList entries(const QListWidget *list)
{
    QStringList texts;
    for (int row = 0; row < list->count(); ++row)
        texts.append(list->item(row)->text());
    return texts;
}

QList<Qt::CheckState> ticks(const QListWidget *list)
{
    QList<Qt::CheckState> states;
    for (int row = 0; row < list->count(); ++row)
        states.append(list->item(row)->checkState());
    return states;
}

// Runs a check at every pump of the event loop while the window's run is active.
class DuringRun
{
public:
    DuringRun(frmMain &form, std::function<void()> check)
    {
        m_timer.setInterval(0);
        QObject::connect(&m_timer, &QTimer::timeout, [&form, check, this] {
            if (form.runActive()) {
                ++pumps;
                check();
            }
        });
        m_timer.start();
    }
    int pumps = 0;

private:
    QTimer m_timer;
};

} // namespace

class TestCatalogWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void chosenRootIsStoredAndResetsTheCatalogue();
    void cancelledRootPickerChangesNothing();
    void scanListsImagesAndFoldersAndRestoresControls();
    void destinationDecidesResizeAndUpload();
    void controlsWhileScanningAndNoSecondRun();
    void cancelStopsWithinOneFileAndKeepsTheList();
    void limitListsExactly32768();
    void failuresGoToTheirProcedures();
    void bulkTicksAndTheirEnabledStates();
    void horizontalRangeCoversTheLongestEntry();
    void previewShowsPictureAndDimensionLine();

private:
    std::unique_ptr<frmMain> makeWindow();
    void chooseRoot(frmMain &form, const QString &folder);
    void scan(frmMain &form);
    QString makeImage(const QString &path, const QStringList &arguments);
    QString root() const { return m_tree->path() + u'/'; }

    std::unique_ptr<QTemporaryDir> m_tree;
    std::unique_ptr<WindowTestEnvironment> m_env;
};

void TestCatalogWindow::init()
{
    m_tree = std::make_unique<QTemporaryDir>();
    QVERIFY(m_tree->isValid());
    m_env.reset();
    m_env = std::make_unique<WindowTestEnvironment>();
}

void TestCatalogWindow::cleanup()
{
    const QStringList left = m_env->leftovers();
    m_env.reset();
    m_tree.reset();
    QVERIFY2(left.isEmpty(), qPrintable(left.join(u"; "_s)));
}

std::unique_ptr<frmMain> TestCatalogWindow::makeWindow()
{
    auto form = std::make_unique<frmMain>();
    form->show();
    if (!QTest::qWaitForWindowExposed(form.get()))
        qWarning("main window not exposed");
    return form;
}

void TestCatalogWindow::chooseRoot(frmMain &form, const QString &folder)
{
    m_env->picker.setNextDirectory(folder);
    QTest::mouseClick(form.cmdSetFolder, Qt::LeftButton);
}

void TestCatalogWindow::scan(frmMain &form)
{
    QVERIFY(form.cmdScan->isEnabled());
    QTest::mouseClick(form.cmdScan, Qt::LeftButton);
    QVERIFY(!form.runActive());
}

QString TestCatalogWindow::makeImage(const QString &path, const QStringList &arguments)
{
    QDir().mkpath(QFileInfo(path).path());
    QProcess convert;
    convert.start(u"/usr/bin/convert"_s, arguments + QStringList{path});
    if (!convert.waitForFinished(60000) || convert.exitCode() != 0)
        qWarning() << convert.readAllStandardError();
    return path;
}

void TestCatalogWindow::chosenRootIsStoredAndResetsTheCatalogue()
{
    touch(root() + u"a.jpg"_s);
    touch(root() + u"sub/b.png"_s);
    auto form = makeWindow();
    form->txtFDestin->setText(u"/tmp/out"_s);
    chooseRoot(*form, m_tree->path());
    scan(*form);
    QCOMPARE(form->List1->count(), 2);
    QVERIFY(form->cmdResize->isEnabled());

    const QString other = m_tree->path() + u"/sub"_s;
    chooseRoot(*form, other);
    QCOMPARE(m_env->picker.titles.last(), u"Select Root Image Path"_s);
    QCOMPARE(form->txtImgRootPath->text(), other);
    QCOMPARE(ReadIniValue(u"settings.ini"_s, u"main"_s, u"root_path"_s), other);
    for (QWidget *w : {static_cast<QWidget *>(form->cmdResize), static_cast<QWidget *>(form->cmdUpload),
                       static_cast<QWidget *>(form->cmdResize_Upload), static_cast<QWidget *>(form->cmdALL),
                       static_cast<QWidget *>(form->cmdINV), static_cast<QWidget *>(form->cmdNONE),
                       static_cast<QWidget *>(form->List1)})
        QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
    QCOMPARE(form->List1->count(), 0);
    QVERIFY(form->List1->toolTip().isEmpty());
    QVERIFY(form->Label1->text().isEmpty());
    QCOMPARE(form->run.ImagesFound, 0.0);
    QCOMPARE(form->run.FilesScanned, 0.0);
    // The folder list waits for the next scan.
    QCOMPARE(entries(form->lstFolders), QStringList{root() + u"sub"_s});
    QVERIFY(form->cmdScan->isEnabled());
}

void TestCatalogWindow::cancelledRootPickerChangesNothing()
{
    touch(root() + u"a.jpg"_s);
    auto form = makeWindow();
    chooseRoot(*form, m_tree->path());
    scan(*form);
    const QString stored = ReadIniValue(u"settings.ini"_s, u"main"_s, u"root_path"_s);

    chooseRoot(*form, QString());
    QCOMPARE(form->txtImgRootPath->text(), m_tree->path());
    QCOMPARE(ReadIniValue(u"settings.ini"_s, u"main"_s, u"root_path"_s), stored);
    QCOMPARE(entries(form->List1), QStringList{root() + u"a.jpg"_s});
    QVERIFY(form->List1->isEnabled());
    QVERIFY(form->cmdALL->isEnabled());
    QCOMPARE(form->Label1->text(), u"1 images out of 1 scanned!"_s);
}

void TestCatalogWindow::scanListsImagesAndFoldersAndRestoresControls()
{
    for (const QString &name :
         {u"a.jpg"_s, u"b.txt"_s, u"c.gif"_s, u"d.doc"_s, u"Ärger über.PNG"_s, u"f.xmp"_s, u"g.mov"_s,
          u"h.cr2"_s, u"i.tif"_s, u"j.jpg.txt"_s, u"A/one.JPEG"_s, u"A/two two.bmp"_s, u"y.jpg/inside.txt"_s})
        touch(root() + name);
    QVERIFY(QDir().mkpath(root() + u"empty"_s));
    QVERIFY(QFile::link(root(), root() + u"A/back to root"_s));

    auto form = makeWindow();
    chooseRoot(*form, m_tree->path());
    scan(*form);

    QCOMPARE(form->List1->count(), 5);
    for (const QString &name :
         {u"a.jpg"_s, u"c.gif"_s, u"Ärger über.PNG"_s, u"A/one.JPEG"_s, u"A/two two.bmp"_s})
        QVERIFY2(entries(form->List1).contains(root() + name), qPrintable(name));
    for (int row = 0; row < form->List1->count(); ++row) {
        QVERIFY(form->List1->item(row)->flags() & Qt::ItemIsUserCheckable);
        QCOMPARE(form->List1->item(row)->checkState(), Qt::Unchecked);
    }
    QStringList folders = entries(form->lstFolders);
    folders.sort();
    QCOMPARE(folders, (QStringList{root() + u"A"_s, root() + u"empty"_s, root() + u"y.jpg"_s}));
    QVERIFY(!form->lstFolders->isVisible());
    QCOMPARE(form->Label1->text(), u"5 images out of 13 scanned!"_s);

    QCOMPARE(form->windowTitle(), u"Pexa Resizer"_s);
    QCOMPARE(form->cmdExit->text(), u"Exit"_s);
    for (QWidget *w : {static_cast<QWidget *>(form->cmdSetFolder), static_cast<QWidget *>(form->cmdScan),
                       static_cast<QWidget *>(form->List1), static_cast<QWidget *>(form->cmdFDestin),
                       static_cast<QWidget *>(form->cmdFTPSettings), static_cast<QWidget *>(form->cmdALL),
                       static_cast<QWidget *>(form->cmdINV), static_cast<QWidget *>(form->cmdNONE)})
        QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));
    QCOMPARE(form->List1->toolTip(), CheckTip);
    QVERIFY(m_env->boxes.shown().isEmpty());
    QVERIFY(m_env->errors.reports.isEmpty());

    // A second scan starts from empty lists.
    scan(*form);
    QCOMPARE(form->List1->count(), 5);
    QCOMPARE(form->lstFolders->count(), 3);
}

void TestCatalogWindow::destinationDecidesResizeAndUpload()
{
    touch(root() + u"a.jpg"_s);
    auto form = makeWindow();
    chooseRoot(*form, m_tree->path());
    scan(*form);
    QVERIFY(!form->cmdResize->isEnabled());
    QVERIFY(!form->cmdUpload->isEnabled());
    QVERIFY(!form->cmdResize_Upload->isEnabled());

    m_env->picker.setNextDirectory(u"/tmp/destination"_s);
    QTest::mouseClick(form->cmdFDestin, Qt::LeftButton);
    QVERIFY(form->cmdResize->isEnabled());
    QVERIFY(form->cmdUpload->isEnabled());
    QVERIFY(form->cmdResize_Upload->isEnabled());

    scan(*form);
    QVERIFY(form->cmdResize->isEnabled() && form->cmdUpload->isEnabled() &&
            form->cmdResize_Upload->isEnabled());

    // No image, no batch, whatever the destination.
    chooseRoot(*form, root() + u"nothing"_s);
    scan(*form);
    QCOMPARE(form->List1->count(), 0);
    QVERIFY(form->Label1->text().isEmpty());
    QVERIFY(!form->cmdResize->isEnabled() && !form->cmdUpload->isEnabled());
    QVERIFY(!form->cmdALL->isEnabled());
    QVERIFY(m_env->boxes.shown().isEmpty());
}

void TestCatalogWindow::controlsWhileScanningAndNoSecondRun()
{
    // Enough files that the scan lasts several of the yield's pump intervals.
    for (int k = 0; k < 15000; ++k)
        touch(root() + u"d%1/f%2.%3"_s.arg(k % 20).arg(k).arg(k % 3 ? u"jpg"_s : u"txt"_s));
    auto form = makeWindow();
    form->txtFDestin->setText(u"/tmp/out"_s);
    chooseRoot(*form, m_tree->path());
    auto *actions = form->findChild<CatalogActions *>();
    QVERIFY(actions);

    QStringList faults;
    bool tickedDuringRun = false;
    DuringRun during(*form, [&] {
        auto expect = [&](bool condition, const QString &what) {
            if (!condition && !faults.contains(what))
                faults.append(what);
        };
        expect(form->cmdExit->text() == u"Cancel"_s, u"Exit reads Cancel"_s);
        for (QWidget *w :
             {static_cast<QWidget *>(form->cmdSetFolder), static_cast<QWidget *>(form->cmdScan),
              static_cast<QWidget *>(form->cmdFDestin), static_cast<QWidget *>(form->cmdFTPSettings),
              static_cast<QWidget *>(form->List1), static_cast<QWidget *>(form->cmdResize),
              static_cast<QWidget *>(form->cmdUpload), static_cast<QWidget *>(form->cmdResize_Upload)})
            expect(!w->isEnabled(), w->objectName() + u" disabled"_s);
        expect(form->cmdExit->isEnabled() && form->cmbMode->isEnabled(), u"Exit and rules enabled"_s);
        // What the window shows at a pump is what the last file left.
        const int listed = form->List1->count();
        if (listed > 0) {
            expect(form->cmdALL->isEnabled(), u"selection enabled once an image is listed"_s);
            expect(form->windowTitle() == u"Scanning "_s + form->List1->item(listed - 1)->text(),
                   u"caption names the last image"_s);
        }
        if (form->run.FilesScanned > 0)
            expect(
                form->Label1->text() ==
                    u"%1 images out of %2 scanned!"_s.arg(form->run.ImagesFound).arg(form->run.FilesScanned),
                u"status line current"_s);
        expect(!form->tryBeginRun(), u"no second run"_s);

        if (listed > 100 && !tickedDuringRun) {
            tickedDuringRun = true;
            QTest::mouseClick(form->cmdALL, Qt::LeftButton);
            actions->cmdSetFolder_Click();
            actions->cmdScan_Click();
        }
    });
    scan(*form);
    QVERIFY2(during.pumps > 2, "the scan never let the event loop run");
    QVERIFY(tickedDuringRun);
    // The root picker was not opened inside the run, and no scan ran inside it.
    QCOMPARE(m_env->picker.titles.size(), 1);
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(u"; "_s)));
    QCOMPARE(form->List1->count(), 10000);
    QCOMPARE(form->Label1->text(), u"10000 images out of 15000 scanned!"_s);
    QVERIFY(form->cmdResize->isEnabled());
    QVERIFY(m_env->boxes.shown().isEmpty());
}

void TestCatalogWindow::cancelStopsWithinOneFileAndKeepsTheList()
{
    for (int k = 0; k < 6000; ++k)
        touch(root() + u"d%1/f%2.png"_s.arg(k % 10).arg(k));
    auto form = makeWindow();
    chooseRoot(*form, m_tree->path());

    double scannedAtCancel = -1;
    int listedAtCancel = -1;
    DuringRun during(*form, [&] {
        if (scannedAtCancel < 0 && form->List1->count() > 50) {
            scannedAtCancel = form->run.FilesScanned;
            listedAtCancel = form->List1->count();
            QTest::mouseClick(form->cmdExit, Qt::LeftButton);
        }
    });
    scan(*form);
    QVERIFY(scannedAtCancel > 0);
    QCOMPARE(form->run.FilesScanned, scannedAtCancel);
    QCOMPARE(form->List1->count(), listedAtCancel);
    QVERIFY(form->isVisible());
    QCOMPARE(m_env->boxes.take(), QStringList{u"Cancelled!!"_s});
    QCOMPARE(m_env->boxes.shown().first().title, u"PexaResizer"_s);
    QCOMPARE(m_env->boxes.shown().first().icon, MessageBoxService::Icon::None);
    QVERIFY(form->run.cancelRequested());

    // What was listed stays usable.
    QVERIFY(form->List1->isEnabled());
    QTest::mouseClick(form->cmdALL, Qt::LeftButton);
    QVERIFY(!ticks(form->List1).contains(Qt::Unchecked));

    // The close box during a scan stops it like Cancel; the window closes once the scan is over.
    bool closed = false;
    DuringRun closing(*form, [&] {
        if (!closed && form->List1->count() > 50) {
            closed = true;
            form->close();
        }
    });
    scan(*form);
    QVERIFY(closed);
    QVERIFY(!form->isVisible());
    QVERIFY(form->List1->count() < 6000);
    QCOMPARE(m_env->boxes.take(), QStringList());
    QCOMPARE(form->cmdExit->text(), u"Exit"_s);
    QVERIFY(m_env->errors.reports.isEmpty());
}

void TestCatalogWindow::limitListsExactly32768()
{
    for (int k = 0; k < 32770; ++k)
        touch(root() + u"d%1/%2.jpg"_s.arg(k % 4).arg(k));
    auto form = makeWindow();
    chooseRoot(*form, m_tree->path());
    scan(*form);
    QCOMPARE(form->List1->count(), 32768);
    QCOMPARE(form->FileLimit, 32768);
    QCOMPARE(m_env->boxes.take(), QStringList{u"Hit 32768 file limit!!"_s});
    QCOMPARE(m_env->boxes.shown().first().title, u"PexaResizer"_s);
    // The image that hit the limit was counted, not listed; nothing after it was examined.
    QCOMPARE(form->Label1->text(), u"32769 images out of 32769 scanned!"_s);
    QCOMPARE(form->lstFolders->count(), 4);
}

void TestCatalogWindow::failuresGoToTheirProcedures()
{
    touch(root() + u"fine.jpg"_s);
    QVERIFY(QFile::link(root() + u"vanished.jpg"_s, root() + u"dangling.jpg"_s));
    auto form = makeWindow();
    chooseRoot(*form, m_tree->path());
    scan(*form);
    QCOMPARE(m_env->errors.take(), QStringList{u"frmMain/GetFSize/53"_s});
    QCOMPARE(form->List1->count(), 2);
    QCOMPARE(form->Label1->text(), u"2 images out of 2 scanned!"_s);
    QCOMPARE(form->cmdExit->text(), u"Exit"_s);
    QVERIFY(form->cmdScan->isEnabled());
}

void TestCatalogWindow::bulkTicksAndTheirEnabledStates()
{
    for (const QString &name : {u"a.jpg"_s, u"b.jpg"_s, u"c.jpg"_s})
        touch(root() + name);
    auto form = makeWindow();
    chooseRoot(*form, m_tree->path());
    scan(*form);
    QCOMPARE(form->List1->count(), 3);
    QVERIFY(form->txtFDestin->text().isEmpty());
    form->List1->item(0)->setCheckState(Qt::Checked);

    const QList<QWidget *> released = {
        form->cmdFTPSettings, form->cmdSetFolder, form->cmdScan,         form->List1,   form->cmdFDestin,
        form->cmbResizePct,   form->cmbTNSize,    form->cmbFTPSizeLimit, form->cmbMode, form->chkRecreate,
        form->txtRSizeLimit,  form->cmdINV,       form->cmdALL,          form->cmdNONE};
    auto batchesEnabled = [&] {
        return form->cmdResize->isEnabled() && form->cmdUpload->isEnabled() &&
               form->cmdResize_Upload->isEnabled();
    };
    auto allReleased = [&] {
        for (QWidget *w : released) {
            if (!w->isEnabled())
                return w->objectName();
        }
        return QString();
    };

    QCOMPARE(form->cmbTNSize->currentText(), u"Disabled"_s);
    QTest::mouseClick(form->cmdINV, Qt::LeftButton);
    QCOMPARE(ticks(form->List1), (QList<Qt::CheckState>{Qt::Unchecked, Qt::Checked, Qt::Checked}));
    QCOMPARE(allReleased(), QString());
    QVERIFY(!form->txtTNPrefix->isEnabled());
    // Without a destination root the batch buttons stay disabled.
    QVERIFY(!form->cmdResize->isEnabled() && !form->cmdUpload->isEnabled() &&
            !form->cmdResize_Upload->isEnabled());

    form->cmbTNSize->setEditText(u"40x40"_s);
    QTest::mouseClick(form->cmdALL, Qt::LeftButton);
    QCOMPARE(ticks(form->List1), (QList<Qt::CheckState>{Qt::Checked, Qt::Checked, Qt::Checked}));
    QCOMPARE(allReleased(), QString());
    QVERIFY(form->txtTNPrefix->isEnabled());
    QCOMPARE(form->Label1->text(), u"3 images out of 3 scanned!"_s);

    // With a destination root they are enabled whatever their state before.
    form->txtFDestin->setText(u"/tmp/out"_s);
    for (QWidget *batch : {static_cast<QWidget *>(form->cmdResize), static_cast<QWidget *>(form->cmdUpload),
                           static_cast<QWidget *>(form->cmdResize_Upload)})
        batch->setEnabled(false);
    form->cmbTNSize->setEditText(u"Disabled"_s);
    QTest::mouseClick(form->cmdNONE, Qt::LeftButton);
    QVERIFY(batchesEnabled());
    QCOMPARE(ticks(form->List1), (QList<Qt::CheckState>{Qt::Unchecked, Qt::Unchecked, Qt::Unchecked}));
    QVERIFY(form->Label1->text().isEmpty());
    QCOMPARE(allReleased(), QString());
    QVERIFY(!form->txtTNPrefix->isEnabled());
    QVERIFY(m_env->errors.reports.isEmpty());
}

void TestCatalogWindow::horizontalRangeCoversTheLongestEntry()
{
    const QString longName = QString(150, u'w') + u".jpg"_s;
    touch(root() + u"a/"_s + longName);
    for (int k = 0; k < 30; ++k)
        touch(root() + u"b/%1.jpg"_s.arg(k));
    auto form = makeWindow();
    chooseRoot(*form, m_tree->path());
    scan(*form);
    QCOMPARE(form->List1->count(), 31);
    const int longWidth = form->List1->fontMetrics().horizontalAdvance(u" "_s + root() + u"a/"_s + longName);
    const int shortest = form->List1->fontMetrics().horizontalAdvance(root() + u"b/1.jpg"_s);
    QTRY_VERIFY(form->List1->horizontalScrollBar()->maximum() + form->List1->viewport()->width() >=
                longWidth);
    QVERIFY(form->List1->horizontalScrollBar()->maximum() > 0);
    QVERIFY(longWidth > shortest + form->List1->viewport()->width());
    // A row holds the whole text beside its check box, so no path is cut short.
    const int indicator = form->List1->style()->pixelMetric(QStyle::PM_IndicatorWidth);
    QTRY_VERIFY(form->List1->visualItemRect(form->List1->item(0)).width() >= longWidth + indicator);

    // Clearing keeps the range; the short entries of the next scan still scroll as far.
    const int before = form->List1->horizontalScrollBar()->maximum();
    chooseRoot(*form, root() + u"b"_s);
    scan(*form);
    QCOMPARE(form->List1->count(), 30);
    QTRY_COMPARE(form->List1->horizontalScrollBar()->maximum(), before);
}

void TestCatalogWindow::previewShowsPictureAndDimensionLine()
{
    // A 640 x 480 baseline JPEG padded behind its end marker to 58,880 bytes: 57.5K shows as 58K.
    const QString photo =
        makeImage(root() + u"1 photo.jpg"_s, {u"-size"_s, u"640x480"_s, u"gradient:red-blue"_s});
    {
        QFile file(photo);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.size() < 58880);
        file.seek(file.size());
        file.write(QByteArray(58880 - file.size(), '\0'));
    }
    QCOMPARE(QFileInfo(photo).size(), 58880);
    makeImage(root() + u"2 small.png"_s, {u"-size"_s, u"320x200"_s, u"xc:green"_s, u"-depth"_s, u"8"_s,
                                          u"-define"_s, u"png:color-type=2"_s});
    touch(root() + u"3 broken.jpg"_s,
          QByteArray::fromHex("FFD8FFC0001108003000400300") + QByteArray(500, 'x'));

    auto form = makeWindow();
    chooseRoot(*form, m_tree->path());
    scan(*form);
    form->List1->sortItems();
    QCOMPARE(form->List1->count(), 3);
    auto clickRow = [&](int row) {
        const QRect rect = form->List1->visualItemRect(form->List1->item(row));
        QTest::mouseClick(form->List1->viewport(), Qt::LeftButton, {},
                          rect.center() + QPoint(rect.width() / 4, 0));
    };
    const qint64 iconKey = form->picbRawImage->pixmap().cacheKey();

    clickRow(0);
    QCOMPARE(form->txtImgDimensions->text(), u"480x640x24  58K"_s);
    QCOMPARE(form->picbRawImage->toolTip(), form->txtImgDimensions->text());
    const QPixmap first = form->picbRawImage->pixmap();
    QVERIFY(first.cacheKey() != iconKey);
    QCOMPARE(first.size(), form->picbRawImage->size());
    QVERIFY(m_env->errors.reports.isEmpty());

    // The keyboard moves the preview along.
    QTest::keyClick(form->List1, Qt::Key_Down);
    QCOMPARE(form->List1->currentRow(), 1);
    const qint64 pngBytes = QFileInfo(root() + u"2 small.png"_s).size();
    QCOMPARE(form->txtImgDimensions->text(), u"200x320x24  %1K"_s.arg(qRound(pngBytes / 1024.0)));
    const qint64 secondKey = form->picbRawImage->pixmap().cacheKey();
    QVERIFY(secondKey != first.cacheKey());
    QCOMPARE(form->picbRawImage->pixmap().toImage().pixelColor(10, 10), QColor(0, 128, 0));

    // A picture that cannot be decoded is reported once and the last preview stays.
    clickRow(2);
    QCOMPARE(form->List1->currentRow(), 2);
    QCOMPARE(m_env->errors.take(), QStringList{u"frmMain/List1_Click/481"_s});
    QCOMPARE(form->txtImgDimensions->text(), u"200x320x24  %1K"_s.arg(qRound(pngBytes / 1024.0)));
    QCOMPARE(form->picbRawImage->pixmap().cacheKey(), secondKey);

    // Clicking the current entry again previews it again (its check box toggles too).
    QFile::remove(root() + u"3 broken.jpg"_s);
    clickRow(2);
    QCOMPARE(m_env->errors.take(), QStringList{u"frmMain/List1_Click/53"_s});
    QVERIFY(!QFile::exists(root() + u"3 broken.jpg"_s));

    clickRow(0);
    QCOMPARE(form->txtImgDimensions->text(), u"480x640x24  58K"_s);
}

QTEST_MAIN(TestCatalogWindow)
#include "tst_catalogwindow.moc"
