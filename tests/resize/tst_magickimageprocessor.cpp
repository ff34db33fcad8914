#include "MagickImageProcessor.h"
#include "RunTimeError.h"

#include <Magick++.h>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <list>
#include <sys/inotify.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

// The real ImageMagick command; a `convert` earlier on PATH may be a stand-in.
static const QString ConvertCommand = u"/usr/bin/convert"_s;

namespace {

// Tells when a file has been opened for reading and closed again, here by the worker of a
// prepared conversion.
class ReadThrough
{
public:
    explicit ReadThrough(const QString &path) : m_fd(inotify_init1(IN_NONBLOCK))
    {
        m_watching =
            m_fd >= 0 && inotify_add_watch(m_fd, QFile::encodeName(path).constData(), IN_CLOSE_NOWRITE) >= 0;
    }
    ~ReadThrough()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    bool watching() const { return m_watching; }
    bool happened()
    {
        alignas(inotify_event) char events[4096];
        m_seen = m_seen || read(m_fd, events, sizeof events) > 0;
        return m_seen;
    }

private:
    int m_fd;
    bool m_watching = false;
    bool m_seen = false;
};

} // namespace

class TestMagickImageProcessor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void matchesTheCommandForEveryFormat_data();
    void matchesTheCommandForEveryFormat();
    void outputFormatFollowsTheTargetExtension();
    void truncatedJpegStillConverts();
    void unreadableSourceLeavesTheTargetAsItWas();
    void optionOtherThanResizeFails();
    void preparedConversionsGiveTheSameBytesAsSeparateOnes();
    void sourceChangedAfterPrepareIsConvertedAfresh();
    void missingCoderMakesTheProcessorUnavailable();
    void waitingForAConversionKeepsTheEventLoopRunning();

private:
    QString fixture(const QString &name) const { return m_dir.path() + u'/' + name; }
    void runConvert(const QStringList &arguments);
    std::list<Magick::Image> frames(const QString &path);
    void compareWithCommand(const QString &source, const QString &geometry, const QString &output);

    QTemporaryDir m_dir;
    MagickImageProcessor m_processor;
};

void TestMagickImageProcessor::runConvert(const QStringList &arguments)
{
    QProcess process;
    process.start(ConvertCommand, arguments);
    QVERIFY2(process.waitForFinished(120000), qPrintable(arguments.join(u' ')));
    QVERIFY2(process.exitCode() == 0, process.readAllStandardError().constData());
}

std::list<Magick::Image> TestMagickImageProcessor::frames(const QString &path)
{
    std::list<Magick::Image> result;
    try {
        Magick::readImages(&result, QFile::encodeName(path).toStdString());
    } catch (const Magick::Warning &) {
    }
    return result;
}

void TestMagickImageProcessor::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_processor.ensureAvailable();
    runConvert({u"-size"_s, u"1023x767"_s, u"-seed"_s, u"7"_s, u"plasma:fractal"_s, u"-quality"_s, u"90"_s,
                fixture(u"photo.jpg"_s)});
    runConvert({u"-size"_s, u"400x200"_s, u"-seed"_s, u"8"_s, u"plasma:fractal"_s, fixture(u"wide.png"_s)});
    runConvert({u"-size"_s, u"300x200"_s, u"-seed"_s, u"9"_s, u"plasma:fractal"_s, u"-type"_s, u"TrueColor"_s,
                u"BMP3:"_s + fixture(u"picture.bmp"_s)});
    runConvert({u"-size"_s, u"120x90"_s, u"-seed"_s, u"1"_s, u"plasma:fractal"_s, u"-size"_s, u"120x90"_s,
                u"-seed"_s, u"2"_s, u"plasma:fractal"_s, u"-size"_s, u"120x90"_s, u"-seed"_s, u"3"_s,
                u"plasma:fractal"_s, fixture(u"animation.gif"_s)});
    QCOMPARE(frames(fixture(u"animation.gif"_s)).size(), size_t(3));

    QFile whole(fixture(u"photo.jpg"_s));
    QVERIFY(whole.open(QIODevice::ReadOnly));
    const QByteArray bytes = whole.readAll();
    QFile truncated(fixture(u"truncated.jpg"_s));
    QVERIFY(truncated.open(QIODevice::WriteOnly));
    truncated.write(bytes.left(bytes.size() / 2));
}

void TestMagickImageProcessor::compareWithCommand(const QString &source, const QString &geometry,
                                                  const QString &output)
{
    const QString reference = fixture(u"reference-"_s + QFileInfo(output).fileName());
    runConvert({source, u"-resize"_s, geometry, reference});
    std::list<Magick::Image> expected = frames(reference);
    std::list<Magick::Image> actual = frames(output);
    QCOMPARE(actual.size(), expected.size());
    QVERIFY(!actual.empty());
    auto e = expected.begin();
    for (Magick::Image &frame : actual) {
        QCOMPARE(frame.columns(), e->columns());
        QCOMPARE(frame.rows(), e->rows());
        const double difference = frame.compare(*e, Magick::RootMeanSquaredErrorMetric);
        QVERIFY2(difference < 0.002, qPrintable(u"RMSE %1"_s.arg(difference)));
        ++e;
    }
}

void TestMagickImageProcessor::matchesTheCommandForEveryFormat_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("geometry");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QSize>("size");
    QTest::newRow("jpeg to percent") << u"photo.jpg"_s << u"25%x25%"_s << u"pct.jpg"_s << QSize(256, 192);
    QTest::newRow("jpeg to fractional limit")
        << u"photo.jpg"_s << u"600x449.853372434018"_s << u"limit.jpg"_s << QSize(600, 450);
    QTest::newRow("jpeg thumbnail") << u"photo.jpg"_s << u"100x100"_s << u"tn_photo.jpg"_s << QSize(100, 75);
    QTest::newRow("png enlarged") << u"wide.png"_s << u"1600x800"_s << u"wide.png"_s << QSize(1600, 800);
    QTest::newRow("bmp") << u"picture.bmp"_s << u"50%x50%"_s << u"picture.bmp"_s << QSize(150, 100);
    QTest::newRow("every gif frame") << u"animation.gif"_s << u"50%x50%"_s << u"animation.gif"_s
                                     << QSize(60, 45);
}

void TestMagickImageProcessor::matchesTheCommandForEveryFormat()
{
    QFETCH(QString, source);
    QFETCH(QString, geometry);
    QFETCH(QString, output);
    QFETCH(QSize, size);
    const QString target = fixture(u"out/"_s + output);
    QVERIFY(QDir().mkpath(fixture(u"out"_s)));
    QVERIFY(m_processor.convert(u"-resize="_s + geometry, fixture(source), target));
    std::list<Magick::Image> written = frames(target);
    QVERIFY(!written.empty());
    QCOMPARE(QSize(int(written.front().columns()), int(written.front().rows())), size);
    compareWithCommand(fixture(source), geometry, target);
}

void TestMagickImageProcessor::outputFormatFollowsTheTargetExtension()
{
    const QString target = fixture(u"photo-as.PNG"_s);
    QVERIFY(m_processor.convert(u"-resize=10%x10%"_s, fixture(u"photo.jpg"_s), target));
    QFile file(target);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.read(4), QByteArray("\x89PNG"));
    compareWithCommand(fixture(u"photo.jpg"_s), u"10%x10%"_s, target);
}

void TestMagickImageProcessor::truncatedJpegStillConverts()
{
    const QString target = fixture(u"truncated-out.jpg"_s);
    QVERIFY(m_processor.convert(u"-resize=50%x50%"_s, fixture(u"truncated.jpg"_s), target));
    compareWithCommand(fixture(u"truncated.jpg"_s), u"50%x50%"_s, target);
}

void TestMagickImageProcessor::unreadableSourceLeavesTheTargetAsItWas()
{
    QTemporaryDir folder;
    const QString source = folder.path() + u"/fake.jpg"_s;
    const QString target = folder.path() + u"/out.jpg"_s;
    for (const QString &path : {source, target}) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not an image at all");
    }
    QVERIFY(!m_processor.convert(u"-resize=50%x50%"_s, source, target));
    QVERIFY(!m_processor.convert(u"-resize=50%x50%"_s, folder.path() + u"/missing.jpg"_s, target));
    QFile file(target);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("not an image at all"));
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

void TestMagickImageProcessor::optionOtherThanResizeFails()
{
    const QString target = fixture(u"other-option.jpg"_s);
    QVERIFY(!m_processor.convert(u"-rotate=90"_s, fixture(u"photo.jpg"_s), target));
    QVERIFY(!m_processor.convert(u"-resize=bogus"_s, fixture(u"photo.jpg"_s), target));
    QVERIFY(!QFile::exists(target));
}

void TestMagickImageProcessor::preparedConversionsGiveTheSameBytesAsSeparateOnes()
{
    const QString source = fixture(u"photo.jpg"_s);
    QVERIFY(QDir().mkpath(fixture(u"separate"_s)));
    QVERIFY(QDir().mkpath(fixture(u"prepared"_s)));
    const QStringList options{u"-resize=25%x25%"_s, u"-resize=100x100"_s};
    const QStringList names{u"photo.jpg"_s, u"tn_photo.jpg"_s};
    for (int i = 0; i < 2; ++i)
        QVERIFY(m_processor.convert(options[i], source, fixture(u"separate/"_s + names[i])));
    m_processor.prepare(source, {{options[0], fixture(u"prepared/"_s + names[0])},
                                 {options[1], fixture(u"prepared/"_s + names[1])}});
    QVERIFY(!QFile::exists(fixture(u"prepared/"_s + names[0])));
    for (int i = 0; i < 2; ++i)
        QVERIFY(m_processor.convert(options[i], source, fixture(u"prepared/"_s + names[i])));
    for (const QString &name : names) {
        QFile separate(fixture(u"separate/"_s + name));
        QFile prepared(fixture(u"prepared/"_s + name));
        QVERIFY(separate.open(QIODevice::ReadOnly) && prepared.open(QIODevice::ReadOnly));
        QCOMPARE(prepared.readAll(), separate.readAll());
    }
}

void TestMagickImageProcessor::sourceChangedAfterPrepareIsConvertedAfresh()
{
    const QString source = fixture(u"changing.png"_s);
    QVERIFY(QFile::copy(fixture(u"wide.png"_s), source));
    const QString target = fixture(u"changing-out.png"_s);
    ReadThrough worker(source);
    QVERIFY(worker.watching());
    m_processor.prepare(source, {{u"-resize=50%x50%"_s, target}});
    // Changed only once the prepared work has read it, so a stale result would show.
    QTRY_VERIFY(worker.happened());
    runConvert({u"-size"_s, u"100x300"_s, u"xc:red"_s, source});
    QVERIFY(m_processor.convert(u"-resize=50%x50%"_s, source, target));
    std::list<Magick::Image> written = frames(target);
    QCOMPARE(written.size(), size_t(1));
    QCOMPARE(written.front().columns(), size_t(50));
    QCOMPARE(written.front().rows(), size_t(150));
    m_processor.discardPrepared();
}

void TestMagickImageProcessor::missingCoderMakesTheProcessorUnavailable()
{
    MagickImageProcessor lacking({u"JPEG"_s, u"NOSUCHCODER"_s});
    try {
        lacking.ensureAvailable();
        QFAIL("no error");
    } catch (const RunTimeError &error) {
        QCOMPARE(error.number(), int(RunTimeError::CannotCreateComponent));
    }
}

void TestMagickImageProcessor::waitingForAConversionKeepsTheEventLoopRunning()
{
    const QString source = fixture(u"large.jpg"_s);
    runConvert({u"-size"_s, u"2400x1800"_s, u"gradient:red-blue"_s, source});
    bool delivered = false;
    QTimer::singleShot(0, this, [&] { delivered = true; });
    QVERIFY(m_processor.convert(u"-resize=50%x50%"_s, source, fixture(u"large-out.jpg"_s)));
    // The timer could only fire if events were handled while the conversion ran.
    QVERIFY(delivered);
}

QTEST_GUILESS_MAIN(TestMagickImageProcessor)
#include "tst_magickimageprocessor.moc"
