#include "CatalogActions.h"
#include "CatalogHelpers.h"
#include "Controls.h"
#include "Settings.h"
#include "TestFiles.h"
#include "WindowTestEnvironment.h"
#include "frmMain.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <functional>
#include <memory>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString CheckTip =
    u"Unchecked - Follow Rule Below / Checked - Just copy file: Do not follow rule below."_s;

int rows(const QListView *list)
{
    return list->model()->rowCount();
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
    void namesThatAreNoTextAreCountedAndTold();
    void treeWithoutImagesListsAndTellsNothing();
    void controlsWhileScanningAndNoSecondRun();
    void cancelStopsWithinOneFileAndKeepsTheList();
    void limitListsExactly32768();
    void failuresGoToTheirProcedures();
    void bulkTicksChangeEveryEntry();
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
    QTest::mouseClick(control<QPushButton>(form, u"cmdSetFolder"), Qt::LeftButton);
}

void TestCatalogWindow::scan(frmMain &form)
{
    QVERIFY(control<QPushButton>(form, u"cmdScan")->isEnabled());
    QTest::mouseClick(control<QPushButton>(form, u"cmdScan"), Qt::LeftButton);
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
    QVERIFY(writeFile(root() + u"a.jpg"_s));
    QVERIFY(writeFile(root() + u"sub/b.png"_s));
    auto form = makeWindow();
    auto *List1 = control<QListView>(*form, u"List1");
    control<QLineEdit>(*form, u"txtFDestin")->setText(u"/tmp/out"_s);
    chooseRoot(*form, m_tree->path());
    scan(*form);
    QCOMPARE(rows(List1), 2);

    const QString other = m_tree->path() + u"/sub"_s;
    chooseRoot(*form, other);
    QCOMPARE(m_env->picker.titles.last(), u"Select Root Image Path"_s);
    QCOMPARE(control<QLineEdit>(*form, u"txtImgRootPath")->text(), other);
    QCOMPARE(ReadIniValue(u"settings.ini"_s, u"main"_s, u"root_path"_s), other);
    QCOMPARE(rows(List1), 0);
    QVERIFY(List1->toolTip().isEmpty());
    QVERIFY(control<QLabel>(*form, u"Label1")->text().isEmpty());
    QCOMPARE(form->runState().ImagesFound, 0.0);
    QCOMPARE(form->runState().FilesScanned, 0.0);
    // The folder list waits for the next scan.
    QCOMPARE(shownEntries(control<QListWidget>(*form, u"lstFolders")), QStringList{root() + u"sub"_s});
}

void TestCatalogWindow::cancelledRootPickerChangesNothing()
{
    QVERIFY(writeFile(root() + u"a.jpg"_s));
    auto form = makeWindow();
    chooseRoot(*form, m_tree->path());
    scan(*form);
    const QString stored = ReadIniValue(u"settings.ini"_s, u"main"_s, u"root_path"_s);

    chooseRoot(*form, QString());
    QCOMPARE(control<QLineEdit>(*form, u"txtImgRootPath")->text(), m_tree->path());
    QCOMPARE(ReadIniValue(u"settings.ini"_s, u"main"_s, u"root_path"_s), stored);
    QCOMPARE(shownEntries(control<QListView>(*form, u"List1")), QStringList{root() + u"a.jpg"_s});
    QCOMPARE(control<QLabel>(*form, u"Label1")->text(), u"1 images out of 1 scanned!"_s);
}

void TestCatalogWindow::scanListsImagesAndFoldersAndRestoresControls()
{
    for (const QString &name :
         {u"a.jpg"_s, u"b.txt"_s, u"c.gif"_s, u"d.doc"_s, u"Ärger über.PNG"_s, u"f.xmp"_s, u"g.mov"_s,
          u"h.cr2"_s, u"i.tif"_s, u"j.jpg.txt"_s, u"A/one.JPEG"_s, u"A/two two.bmp"_s, u"y.jpg/inside.txt"_s})
        QVERIFY(writeFile(root() + name));
    QVERIFY(QDir().mkpath(root() + u"empty"_s));
    QVERIFY(QFile::link(root(), root() + u"A/back to root"_s));

    auto form = makeWindow();
    auto *List1 = control<QListView>(*form, u"List1");
    auto *lstFolders = control<QListWidget>(*form, u"lstFolders");
    chooseRoot(*form, m_tree->path());
    scan(*form);

    QCOMPARE(rows(List1), 5);
    for (const QString &name :
         {u"a.jpg"_s, u"c.gif"_s, u"Ärger über.PNG"_s, u"A/one.JPEG"_s, u"A/two two.bmp"_s})
        QVERIFY2(shownEntries(List1).contains(root() + name), qPrintable(name));
    for (int row = 0; row < rows(List1); ++row)
        QVERIFY(List1->model()->index(row, 0).flags() & Qt::ItemIsUserCheckable);
    QCOMPARE(shownTicks(List1), QList<Qt::CheckState>(5, Qt::Unchecked));
    QStringList folders = shownEntries(lstFolders);
    folders.sort();
    QCOMPARE(folders, (QStringList{root() + u"A"_s, root() + u"empty"_s, root() + u"y.jpg"_s}));
    // The list shows the catalogue the batches get, which holds the same folders in walk order.
    QCOMPARE(catalogOf(*form).entries().size(), 5);
    for (qsizetype row = 0; row < 5; ++row)
        QCOMPARE(catalogOf(*form).entry(row).path, shownEntries(List1).at(row));
    QCOMPARE(catalogOf(*form).folders(), shownEntries(lstFolders));
    QVERIFY(catalogOf(*form).wholeTree());
    QVERIFY(!lstFolders->isVisible());
    QCOMPARE(control<QLabel>(*form, u"Label1")->text(), u"5 images out of 13 scanned!"_s);

    QCOMPARE(form->windowTitle(), u"Pexa Resizer"_s);
    QCOMPARE(control<QPushButton>(*form, u"cmdExit")->text(), u"Exit"_s);
    QCOMPARE(List1->toolTip(), CheckTip);
    QVERIFY(m_env->boxes.shown().isEmpty());
    QVERIFY(m_env->errors.reports.isEmpty());

    // A second scan starts from empty lists.
    scan(*form);
    QCOMPARE(rows(List1), 5);
    QCOMPARE(lstFolders->count(), 3);
}

void TestCatalogWindow::namesThatAreNoTextAreCountedAndTold()
{
    // Names from an old archive, written in a single-byte code page.
    QVERIFY(writeFile(root() + u"a.jpg"_s));
    QVERIFY(QDir().mkpath(root() + u"old"_s));
    for (const QByteArray &name : {QByteArray("caf\xe9.jpg"), QByteArray("na\xefve.png"),
                                   QByteArray("\xfc.txt"), QByteArray("\xe0\xe1.gif")}) {
        const int fd =
            ::open((QFile::encodeName(root()) + "old/" + name).constData(), O_CREAT | O_WRONLY, 0644);
        QVERIFY(fd >= 0);
        ::close(fd);
    }
    auto form = makeWindow();
    chooseRoot(*form, m_tree->path());
    scan(*form);
    QCOMPARE(shownEntries(control<QListView>(*form, u"List1")), QStringList{root() + u"a.jpg"_s});
    QCOMPARE(control<QLabel>(*form, u"Label1")->text(), u"1 images out of 5 scanned!"_s);
    const QStringList told = m_env->boxes.take();
    QCOMPARE(told.size(), 1);
    QVERIFY2(told.first().startsWith(u"4 files skipped because their names cannot be read!!\r\n"_s),
             qPrintable(told.first()));
    // The first three, their bytes written out.
    QCOMPARE(told.first().count(u"\r\n"_s), 3);
    QVERIFY2(told.first().contains(root() + u"old/caf\\xE9.jpg"_s), qPrintable(told.first()));
    QCOMPARE(m_env->boxes.shown().last().icon, MessageBoxService::Icon::Exclamation);
}

void TestCatalogWindow::treeWithoutImagesListsAndTellsNothing()
{
    auto form = makeWindow();
    chooseRoot(*form, root() + u"nothing"_s);
    scan(*form);
    QCOMPARE(rows(control<QListView>(*form, u"List1")), 0);
    QVERIFY(control<QLabel>(*form, u"Label1")->text().isEmpty());
    QVERIFY(m_env->boxes.shown().isEmpty());
}

void TestCatalogWindow::controlsWhileScanningAndNoSecondRun()
{
    // Enough files that the scan lasts several of the yield's pump intervals.
    for (int k = 0; k < 15000; ++k)
        QVERIFY(writeFile(root() + u"d%1/f%2.%3"_s.arg(k % 20).arg(k).arg(k % 3 ? u"jpg"_s : u"txt"_s)));
    auto form = makeWindow();
    auto *List1 = control<QListView>(*form, u"List1");
    control<QLineEdit>(*form, u"txtFDestin")->setText(u"/tmp/out"_s);
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
        expect(control<QPushButton>(*form, u"cmdExit")->text() == u"Cancel"_s, u"Exit reads Cancel"_s);
        expect(control<QPushButton>(*form, u"cmdExit")->isEnabled(), u"Exit enabled"_s);
        // What the window shows at a pump is what the last file left; the tick buttons come
        // back with the first image listed.
        const int listed = rows(List1);
        const QString wrong =
            wrongControls(*form, listed > 0 ? Enabled::Rules + Enabled::Ticks : Enabled::Rules);
        expect(wrong.isEmpty(), u"while scanning: "_s + wrong);
        if (listed > 0) {
            expect(form->windowTitle() == u"Scanning "_s + shownEntries(List1).at(listed - 1),
                   u"caption names the last image"_s);
        }
        if (form->runState().FilesScanned > 0)
            expect(control<QLabel>(*form, u"Label1")->text() ==
                       u"%1 images out of %2 scanned!"_s.arg(form->runState().ImagesFound)
                           .arg(form->runState().FilesScanned),
                   u"status line current"_s);
        expect(!form->tryBeginRun(), u"no second run"_s);

        if (listed > 100 && !tickedDuringRun) {
            tickedDuringRun = true;
            QTest::mouseClick(control<QPushButton>(*form, u"cmdALL"), Qt::LeftButton);
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
    QCOMPARE(rows(List1), 10000);
    QCOMPARE(control<QLabel>(*form, u"Label1")->text(), u"10000 images out of 15000 scanned!"_s);
    QVERIFY(m_env->boxes.shown().isEmpty());
}

void TestCatalogWindow::cancelStopsWithinOneFileAndKeepsTheList()
{
    for (int k = 0; k < 6000; ++k)
        QVERIFY(writeFile(root() + u"d%1/f%2.png"_s.arg(k % 10).arg(k)));
    auto form = makeWindow();
    auto *List1 = control<QListView>(*form, u"List1");
    chooseRoot(*form, m_tree->path());

    double scannedAtCancel = -1;
    int listedAtCancel = -1;
    DuringRun during(*form, [&] {
        if (scannedAtCancel < 0 && rows(List1) > 50) {
            scannedAtCancel = form->runState().FilesScanned;
            listedAtCancel = rows(List1);
            QTest::mouseClick(control<QPushButton>(*form, u"cmdExit"), Qt::LeftButton);
        }
    });
    scan(*form);
    QVERIFY(scannedAtCancel > 0);
    QCOMPARE(form->runState().FilesScanned, scannedAtCancel);
    QCOMPARE(rows(List1), listedAtCancel);
    QVERIFY(form->isVisible());
    QCOMPARE(m_env->boxes.take(), QStringList{u"Cancelled!!"_s});
    QCOMPARE(m_env->boxes.shown().first().title, u"PexaResizer"_s);
    QCOMPARE(m_env->boxes.shown().first().icon, MessageBoxService::Icon::None);
    QVERIFY(form->runState().cancelRequested());

    // What was listed stays usable.
    QCOMPARE(wrongControls(*form, Enabled::Listed), QString());
    QTest::mouseClick(control<QPushButton>(*form, u"cmdALL"), Qt::LeftButton);
    QVERIFY(!shownTicks(List1).contains(Qt::Unchecked));

    // The close box during a scan stops it like Cancel; the window closes once the scan is over.
    bool closed = false;
    DuringRun closing(*form, [&] {
        if (!closed && rows(List1) > 50) {
            closed = true;
            form->close();
        }
    });
    scan(*form);
    QVERIFY(closed);
    QVERIFY(!form->isVisible());
    QVERIFY(rows(List1) < 6000);
    QCOMPARE(m_env->boxes.take(), QStringList());
    QCOMPARE(control<QPushButton>(*form, u"cmdExit")->text(), u"Exit"_s);
    QVERIFY(m_env->errors.reports.isEmpty());
}

void TestCatalogWindow::limitListsExactly32768()
{
    for (int k = 0; k < 32770; ++k)
        QVERIFY(writeFile(root() + u"d%1/%2.jpg"_s.arg(k % 4).arg(k)));
    auto form = makeWindow();
    chooseRoot(*form, m_tree->path());
    scan(*form);
    QCOMPARE(rows(control<QListView>(*form, u"List1")), 32768);
    QCOMPARE(form->runState().FileLimit, 32768);
    QCOMPARE(m_env->boxes.take(), QStringList{u"Hit 32768 file limit!!"_s});
    QCOMPARE(m_env->boxes.shown().first().title, u"PexaResizer"_s);
    // The image that hit the limit was counted, not listed; nothing after it was examined.
    QCOMPARE(control<QLabel>(*form, u"Label1")->text(), u"32769 images out of 32769 scanned!"_s);
    QCOMPARE(control<QListWidget>(*form, u"lstFolders")->count(), 4);
    // What the limit stopped is not the whole tree.
    QVERIFY(!catalogOf(*form).wholeTree());
}

void TestCatalogWindow::failuresGoToTheirProcedures()
{
    QVERIFY(writeFile(root() + u"fine.jpg"_s));
    QVERIFY(QFile::link(root() + u"vanished.jpg"_s, root() + u"dangling.jpg"_s));
    auto form = makeWindow();
    chooseRoot(*form, m_tree->path());
    scan(*form);
    QCOMPARE(m_env->errors.take(), QStringList{u"frmMain/GetFSize/53"_s});
    QCOMPARE(rows(control<QListView>(*form, u"List1")), 2);
    QCOMPARE(control<QLabel>(*form, u"Label1")->text(), u"2 images out of 2 scanned!"_s);
    QCOMPARE(control<QPushButton>(*form, u"cmdExit")->text(), u"Exit"_s);
    QCOMPARE(wrongControls(*form, Enabled::Listed), QString());
}

void TestCatalogWindow::bulkTicksChangeEveryEntry()
{
    for (const QString &name : {u"a.jpg"_s, u"b.jpg"_s, u"c.jpg"_s})
        QVERIFY(writeFile(root() + name));
    auto form = makeWindow();
    auto *List1 = control<QListView>(*form, u"List1");
    chooseRoot(*form, m_tree->path());
    scan(*form);
    QCOMPARE(rows(List1), 3);
    tickRow(List1, 0);
    QCOMPARE(ticksOf(catalogOf(*form)), (QList<bool>{true, false, false}));

    QTest::mouseClick(control<QPushButton>(*form, u"cmdINV"), Qt::LeftButton);
    QCOMPARE(shownTicks(List1), (QList<Qt::CheckState>{Qt::Unchecked, Qt::Checked, Qt::Checked}));
    QCOMPARE(ticksOf(catalogOf(*form)), (QList<bool>{false, true, true}));

    QTest::mouseClick(control<QPushButton>(*form, u"cmdALL"), Qt::LeftButton);
    QCOMPARE(shownTicks(List1), (QList<Qt::CheckState>{Qt::Checked, Qt::Checked, Qt::Checked}));
    QCOMPARE(control<QLabel>(*form, u"Label1")->text(), u"3 images out of 3 scanned!"_s);

    QTest::mouseClick(control<QPushButton>(*form, u"cmdNONE"), Qt::LeftButton);
    QCOMPARE(shownTicks(List1), (QList<Qt::CheckState>{Qt::Unchecked, Qt::Unchecked, Qt::Unchecked}));
    QCOMPARE(ticksOf(catalogOf(*form)), (QList<bool>{false, false, false}));
    QVERIFY(control<QLabel>(*form, u"Label1")->text().isEmpty());
    QVERIFY(m_env->errors.reports.isEmpty());
}

void TestCatalogWindow::horizontalRangeCoversTheLongestEntry()
{
    const QString longName = QString(150, u'w') + u".jpg"_s;
    QVERIFY(writeFile(root() + u"a/"_s + longName));
    for (int k = 0; k < 30; ++k)
        QVERIFY(writeFile(root() + u"b/%1.jpg"_s.arg(k)));
    auto form = makeWindow();
    auto *List1 = control<QListView>(*form, u"List1");
    chooseRoot(*form, m_tree->path());
    scan(*form);
    QCOMPARE(rows(List1), 31);
    const int longWidth = List1->fontMetrics().horizontalAdvance(u" "_s + root() + u"a/"_s + longName);
    const int shortest = List1->fontMetrics().horizontalAdvance(root() + u"b/1.jpg"_s);
    QTRY_VERIFY(List1->horizontalScrollBar()->maximum() + List1->viewport()->width() >= longWidth);
    QVERIFY(List1->horizontalScrollBar()->maximum() > 0);
    QVERIFY(longWidth > shortest + List1->viewport()->width());
    // A row holds the whole text beside its check box, so no path is cut short.
    const int indicator = List1->style()->pixelMetric(QStyle::PM_IndicatorWidth);
    QTRY_VERIFY(List1->visualRect(List1->model()->index(0, 0)).width() >= longWidth + indicator);

    // Clearing keeps the range; the short entries of the next scan still scroll as far.
    const int before = List1->horizontalScrollBar()->maximum();
    chooseRoot(*form, root() + u"b"_s);
    scan(*form);
    QCOMPARE(rows(List1), 30);
    QTRY_COMPARE(List1->horizontalScrollBar()->maximum(), before);
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
    QVERIFY(writeFile(root() + u"3 broken.jpg"_s,
                      QByteArray::fromHex("FFD8FFC0001108003000400300") + QByteArray(500, 'x')));

    auto form = makeWindow();
    auto *List1 = control<QListView>(*form, u"List1");
    auto *picbRawImage = control<QLabel>(*form, u"picbRawImage");
    auto *txtImgDimensions = control<QLineEdit>(*form, u"txtImgDimensions");
    chooseRoot(*form, m_tree->path());
    scan(*form);
    QCOMPARE(rows(List1), 3);
    // In the order of their names, whatever order the walk met them in.
    QStringList sorted = shownEntries(List1);
    sorted.sort();
    showCatalog(*form, catalogOf(sorted));
    auto clickRow = [&](int row) {
        const QRect rect = List1->visualRect(List1->model()->index(row, 0));
        QTest::mouseClick(List1->viewport(), Qt::LeftButton, {}, rect.center() + QPoint(rect.width() / 4, 0));
    };
    const qint64 iconKey = picbRawImage->pixmap().cacheKey();

    clickRow(0);
    QCOMPARE(txtImgDimensions->text(), u"480x640x24  58K"_s);
    QCOMPARE(picbRawImage->toolTip(), txtImgDimensions->text());
    const QPixmap first = picbRawImage->pixmap();
    QVERIFY(first.cacheKey() != iconKey);
    QCOMPARE(first.size(), picbRawImage->size());
    QVERIFY(m_env->errors.reports.isEmpty());

    // The keyboard moves the preview along.
    QTest::keyClick(List1, Qt::Key_Down);
    QCOMPARE(List1->currentIndex().row(), 1);
    const qint64 pngBytes = QFileInfo(root() + u"2 small.png"_s).size();
    QCOMPARE(txtImgDimensions->text(), u"200x320x24  %1K"_s.arg(qRound(pngBytes / 1024.0)));
    const qint64 secondKey = picbRawImage->pixmap().cacheKey();
    QVERIFY(secondKey != first.cacheKey());
    QCOMPARE(picbRawImage->pixmap().toImage().pixelColor(10, 10), QColor(0, 128, 0));

    // A picture that cannot be decoded is reported once and the last preview stays.
    clickRow(2);
    QCOMPARE(List1->currentIndex().row(), 2);
    QCOMPARE(m_env->errors.take(), QStringList{u"frmMain/List1_Click/481"_s});
    QCOMPARE(txtImgDimensions->text(), u"200x320x24  %1K"_s.arg(qRound(pngBytes / 1024.0)));
    QCOMPARE(picbRawImage->pixmap().cacheKey(), secondKey);

    // Clicking the current entry again previews it again (its check box toggles too).
    QFile::remove(root() + u"3 broken.jpg"_s);
    clickRow(2);
    QCOMPARE(m_env->errors.take(), QStringList{u"frmMain/List1_Click/53"_s});
    QVERIFY(!QFile::exists(root() + u"3 broken.jpg"_s));

    clickRow(0);
    QCOMPARE(txtImgDimensions->text(), u"480x640x24  58K"_s);
}

QTEST_MAIN(TestCatalogWindow)
#include "tst_catalogwindow.moc"
