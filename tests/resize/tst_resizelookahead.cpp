#include "CatalogHelpers.h"
#include "ErrorRecorder.h"
#include "RecordingImageProcessor.h"
#include "ResizeBatch.h"
#include "ResizeBatchHost.h"
#include "RunState.h"

#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

// The batch without a window: records what it would show.
class RecordingHost : public ResizeBatchHost
{
public:
    bool yieldCancelled() override { return false; }
    void setCaption(const QString &caption) override { captions.append(caption); }
    void setStatus(const QString &text) override { status = text; }
    void setTicked(int index, bool ticked) override { ticks[index] = ticked; }
    void showBox(const QString &text, const QString &, MessageBoxService::Icon) override
    {
        boxes.append(text);
    }

    QStringList captions;
    QString status;
    QHash<int, bool> ticks;
    QStringList boxes;
};

} // namespace

// How many images the batch keeps converting at once, and that planning and converting agree.
class TestResizeLookahead : public QObject
{
    Q_OBJECT

private slots:
    void inFlightFollowsTheImageCount_data();
    void inFlightFollowsTheImageCount();
    void memoryBudgetHoldsBackLargeImages();
    void planDecidesResizeCopyOrSkipWithItsGeometry();

private:
    // The inputs, and in catalog that many images of that size.
    ResizeInputs inputsFor(const QTemporaryDir &dir, Catalog &catalog, int images, int width, int height);
};

ResizeInputs TestResizeLookahead::inputsFor(const QTemporaryDir &dir, Catalog &catalog, int images, int width,
                                            int height)
{
    ResizeInputs inputs{
        u"All to Pct"_s,        u"50"_s, u"600W"_s, u"100x100"_s, u"tn_"_s, true, dir.path() + u"/in"_s,
        dir.path() + u"/out"_s, u"500"_s};
    QDir().mkpath(inputs.imageRoot);
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::gray);
    for (int i = 0; i < images; ++i) {
        const QString path = inputs.imageRoot + u"/img%1.png"_s.arg(i);
        image.save(path);
        catalog.addEntry(path);
    }
    return inputs;
}

void TestResizeLookahead::inFlightFollowsTheImageCount_data()
{
    QTest::addColumn<int>("cores");
    QTest::newRow("two") << 2;
    QTest::newRow("three") << 3;
    QTest::newRow("eight") << 8;
}

void TestResizeLookahead::inFlightFollowsTheImageCount()
{
    QFETCH(int, cores);
    QTemporaryDir dir;
    RecordingImageProcessor processor;
    processor.room = {cores, qint64(1) << 40};
    RunState run;
    RecordingHost host;
    Catalog catalog;
    const ResizeInputs inputs = inputsFor(dir, catalog, 10, 40, 30);
    ResizeBatch batch(inputs, catalog, run, host, processor);
    QCOMPARE(batch.run(), ResizeBatch::Outcome::Finished);
    QCOMPARE(batch.processed(), 10);
    // The look-ahead and the entry's own steps share one plan of each entry.
    QCOMPARE(batch.plansMade(), 10);
    QCOMPARE(processor.peakInFlight, cores);
    // Everything prepared was converted: nothing is left waiting.
    QVERIFY(processor.inFlight.isEmpty());
    QCOMPARE(processor.calls.size(), 20);
}

void TestResizeLookahead::memoryBudgetHoldsBackLargeImages()
{
    QTemporaryDir dir;
    RecordingImageProcessor processor;
    Catalog catalog;
    const ResizeInputs inputs = inputsFor(dir, catalog, 6, 400, 300);
    const qint64 oneImage = processor.memoryFor(400, 300);
    RunState run;
    RecordingHost host;

    // Room for two and a half images: the third waits although there are cores for four.
    processor.room = {4, oneImage * 5 / 2};
    ResizeBatch(inputs, catalog, run, host, processor).run();
    QCOMPARE(processor.peakInFlight, 2);

    // Less room than one image: the image in hand is still converted, alone.
    RecordingImageProcessor tight;
    tight.room = {4, oneImage / 2};
    ResizeBatch batch(inputs, catalog, run, host, tight);
    QCOMPARE(batch.run(), ResizeBatch::Outcome::Finished);
    QCOMPARE(tight.peakInFlight, 1);
    QCOMPARE(batch.processed(), 6);
}

void TestResizeLookahead::planDecidesResizeCopyOrSkipWithItsGeometry()
{
    QTemporaryDir dir;
    RecordingImageProcessor processor;
    Catalog catalog;
    ResizeInputs inputs = inputsFor(dir, catalog, 3, 800, 200);
    inputs.mode = u"Exceed Limit to Limit"_s;
    catalog.setTicked(1, true);
    inputs.recreate = false;
    QDir().mkpath(inputs.destinationRoot);
    QFile existing(inputs.destinationRoot + u"/img2.png"_s);
    QVERIFY(existing.open(QIODevice::WriteOnly));
    existing.close();
    RunState run;
    RecordingHost host;
    const ResizeBatch batch(inputs, catalog, run, host, processor);

    const ResizeBatch::EntryPlan resized = batch.plan(0);
    QCOMPARE(resized.action, ResizeBatch::EntryPlan::Action::Resize);
    QCOMPARE(resized.option, u"-resize=600x150"_s);
    QCOMPARE(resized.output, inputs.destinationRoot + u"/img0.png"_s);
    QCOMPARE(resized.thumbnail, inputs.destinationRoot + u"/tn_img0.png"_s);

    const ResizeBatch::EntryPlan copied = batch.plan(1);
    QCOMPARE(copied.action, ResizeBatch::EntryPlan::Action::Copy);
    QVERIFY(copied.option.isEmpty());
    QCOMPARE(copied.thumbnail, inputs.destinationRoot + u"/tn_img1.png"_s);

    QCOMPARE(batch.plan(2).action, ResizeBatch::EntryPlan::Action::Skip);
}

QTEST_GUILESS_MAIN(TestResizeLookahead)
#include "tst_resizelookahead.moc"
