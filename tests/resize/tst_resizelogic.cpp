#include "MakePath.h"
#include "NumberText.h"
#include "ResizeRule.h"
#include "RunTimeError.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

using namespace Qt::Literals::StringLiterals;

class TestResizeLogic : public QObject
{
    Q_OBJECT

private slots:
    void leadingNumberIsReadLeniently_data();
    void leadingNumberIsReadLeniently();
    void leadingNumberTooLargeForADoubleOverflows();
    void roundingIsHalfToEvenWithinTheType();
    void strictReadingAcceptsOnlyAWholeNumber();
    void generalFormKeepsFifteenDigits_data();
    void generalFormKeepsFifteenDigits();
    void limitTestsPickTheScalingDimension_data();
    void limitTestsPickTheScalingDimension();
    void optionsForEveryMode_data();
    void optionsForEveryMode();
    void limitModeOnAnImageWithoutDimensionsDividesByZero();
    void makePathCreatesEachMissingLevel();
    void makePathRaisesWhatIsNotAnExistingFolder();
};

void TestResizeLogic::leadingNumberIsReadLeniently_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::newRow("plain") << u"600W"_s << 600.0;
    QTest::newRow("blanks inside") << u" 6 00W"_s << 600.0;
    QTest::newRow("tab and line feed") << u"\t6\n0 0H"_s << 600.0;
    QTest::newRow("carriage return stops") << u"6\r00W"_s << 6.0;
    QTest::newRow("letter first") << u"W600"_s << 0.0;
    QTest::newRow("empty") << QString() << 0.0;
    QTest::newRow("exponent") << u"1e3W"_s << 1000.0;
    QTest::newRow("D exponent") << u"2D2H"_s << 200.0;
    QTest::newRow("dangling exponent") << u"5eW"_s << 5.0;
    QTest::newRow("negative") << u"-50H"_s << -50.0;
    QTest::newRow("plus and fraction") << u"+.5W"_s << 0.5;
    QTest::newRow("second period stops") << u"1.5.3"_s << 1.5;
    QTest::newRow("hex") << u"&HFFW"_s << 255.0;
    QTest::newRow("hex lower case") << u"&h1 0"_s << 16.0;
    QTest::newRow("octal") << u"&O17W"_s << 15.0;
    QTest::newRow("ampersand alone") << u"&W"_s << 0.0;
}

void TestResizeLogic::leadingNumberIsReadLeniently()
{
    QFETCH(QString, text);
    QFETCH(double, value);
    QCOMPARE(NumberText::leading(text), value);
}

void TestResizeLogic::leadingNumberTooLargeForADoubleOverflows()
{
    try {
        NumberText::leading(u"1e400W"_s);
        QFAIL("no overflow");
    } catch (const RunTimeError &error) {
        QCOMPARE(error.number(), int(RunTimeError::Overflow));
    }
    QCOMPARE(NumberText::leading(u"1e-400W"_s), 0.0);
}

void TestResizeLogic::roundingIsHalfToEvenWithinTheType()
{
    QCOMPARE(NumberText::toInt16(2.5), int16_t(2));
    QCOMPARE(NumberText::toInt16(3.5), int16_t(4));
    QCOMPARE(NumberText::toInt16(-2.5), int16_t(-2));
    QCOMPARE(NumberText::toInt16(32767.4), int16_t(32767));
    QCOMPARE(NumberText::toInt16(-32768.5), int16_t(-32768));
    QCOMPARE(NumberText::toInt32(2147483647.0), int32_t(2147483647));
    for (double outside : {32767.5, -32769.0, 40000.0}) {
        try {
            NumberText::toInt16(outside);
            QFAIL(qPrintable(u"no overflow for %1"_s.arg(outside)));
        } catch (const RunTimeError &error) {
            QCOMPARE(error.number(), int(RunTimeError::Overflow));
        }
    }
    QVERIFY_THROWS_EXCEPTION(RunTimeError, NumberText::toInt32(3e9));
}

void TestResizeLogic::strictReadingAcceptsOnlyAWholeNumber()
{
    QCOMPARE(NumberText::strict(u"500"_s), 500.0);
    QCOMPARE(NumberText::strict(u" 12.5 "_s), 12.5);
    QCOMPARE(NumberText::strict(u"1e2"_s), 100.0);
    for (const QString &bad : {u""_s, u"abc"_s, u"5 0"_s, u"500kb"_s, u"-"_s}) {
        try {
            NumberText::strict(bad);
            QFAIL(qPrintable(u"accepted '%1'"_s.arg(bad)));
        } catch (const RunTimeError &error) {
            QCOMPARE(error.number(), int(RunTimeError::TypeMismatch));
        }
    }
}

void TestResizeLogic::generalFormKeepsFifteenDigits_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("fraction of a limit resize") << 767 * (600.0 / 1023) << u"449.853372434018"_s;
    QTest::newRow("whole after rounding noise") << 1023 * (600.0 / 1023) << u"600"_s;
    QTest::newRow("whole") << 120.0 << u"120"_s;
    QTest::newRow("half") << 0.5 << u"0.5"_s;
    QTest::newRow("zero") << 0.0 << u"0"_s;
    QTest::newRow("large") << 1e15 << u"1E+15"_s;
}

void TestResizeLogic::generalFormKeepsFifteenDigits()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(NumberText::general(value), text);
}

void TestResizeLogic::limitTestsPickTheScalingDimension_data()
{
    QTest::addColumn<QString>("limit");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<bool>("exceeds");
    QTest::addColumn<bool>("byWidth");
    QTest::newRow("width above") << u"600W"_s << 4000 << 3000 << true << true;
    QTest::newRow("width equal is inside") << u"600W"_s << 600 << 900 << false << true;
    QTest::newRow("width inside still scales by width") << u"600W"_s << 400 << 300 << false << true;
    QTest::newRow("lower case") << u"600w"_s << 601 << 10 << true << true;
    QTest::newRow("height above") << u"800H"_s << 100 << 801 << true << false;
    QTest::newRow("height inside") << u"800h"_s << 1200 << 600 << false << false;
    QTest::newRow("both, height above") << u"600WH"_s << 500 << 700 << true << false;
    QTest::newRow("both, width above") << u"600WH"_s << 700 << 500 << true << true;
    QTest::newRow("both inside scales by height") << u"600WH"_s << 500 << 500 << false << false;
    QTest::newRow("no letter scales by height") << u"600"_s << 4000 << 3000 << false << false;
}

void TestResizeLogic::limitTestsPickTheScalingDimension()
{
    QFETCH(QString, limit);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(bool, exceeds);
    QFETCH(bool, byWidth);
    const ResizeRule::LimitTest test = ResizeRule::test(limit, width, height);
    QCOMPARE(test.exceeds, exceeds);
    QCOMPARE(test.scaleBy == ResizeRule::Dimension::Width, byWidth);
}

void TestResizeLogic::optionsForEveryMode_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("limit");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<QString>("option");
    QTest::newRow("all to pct") << u"All to Pct"_s << u"600W"_s << 4000 << 3000 << u"-resize=25%x25%"_s;
    QTest::newRow("exceed to pct") << u"Exceed Limit to Pct"_s << u"600W"_s << 4000 << 3000
                                   << u"-resize=25%x25%"_s;
    QTest::newRow("limit by width") << u"Exceed Limit to Limit"_s << u"600W"_s << 4000 << 3000
                                    << u"-resize=600x450"_s;
    QTest::newRow("limit with fraction")
        << u"All to Limit"_s << u"600W"_s << 1023 << 767 << u"-resize=600x449.853372434018"_s;
    QTest::newRow("enlarged by width")
        << u"All to Limit"_s << u"600W"_s << 400 << 300 << u"-resize=600x450"_s;
    QTest::newRow("enlarged by height")
        << u"All to Limit"_s << u"800H"_s << 1200 << 600 << u"-resize=1600x800"_s;
    QTest::newRow("both letters") << u"All to Limit"_s << u"600WH"_s << 500 << 700
                                  << u"-resize=428.571428571429x600"_s;
    QTest::newRow("limit rounded half to even")
        << u"All to Limit"_s << u"600.5W"_s << 1000 << 500 << u"-resize=600x300"_s;
    QTest::newRow("unknown mode") << u"All to Pct "_s << u"600W"_s << 4000 << 3000 << QString();
    QTest::newRow("mode case matters") << u"all to pct"_s << u"600W"_s << 4000 << 3000 << QString();
}

void TestResizeLogic::optionsForEveryMode()
{
    QFETCH(QString, mode);
    QFETCH(QString, limit);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(QString, option);
    const ResizeRule::LimitTest test = ResizeRule::test(limit, width, height);
    const std::optional<QString> made = ResizeRule::option(mode, u"25"_s, limit, width, height, test.scaleBy);
    QCOMPARE(made.value_or(QString()), option);
    QCOMPARE(ResizeRule::thumbnailOption(u"100x100"_s), u"-resize=100x100"_s);
}

void TestResizeLogic::limitModeOnAnImageWithoutDimensionsDividesByZero()
{
    try {
        ResizeRule::option(u"All to Limit"_s, u"25"_s, u"600W"_s, 0, 0, ResizeRule::Dimension::Width);
        QFAIL("no error");
    } catch (const RunTimeError &error) {
        QCOMPARE(error.number(), int(RunTimeError::DivisionByZero));
    }
    QVERIFY(ResizeRule::option(u"All to Pct"_s, u"25"_s, u"600W"_s, 0, 0, ResizeRule::Dimension::Width));
}

void TestResizeLogic::makePathCreatesEachMissingLevel()
{
    QTemporaryDir dir;
    const QString existing = dir.path() + u"/out"_s;
    QVERIFY(QDir().mkdir(existing));
    const QString deep = existing + u"/2008/June/day 1"_s;
    MakePath(deep);
    QVERIFY(QFileInfo(deep).isDir());
    MakePath(deep);
    QVERIFY(QFileInfo(deep).isDir());
}

void TestResizeLogic::makePathRaisesWhatIsNotAnExistingFolder()
{
    QTemporaryDir dir;
    QFile blocker(dir.path() + u"/file"_s);
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    try {
        MakePath(dir.path() + u"/file/below"_s);
        QFAIL("no error");
    } catch (const RunTimeError &error) {
        QVERIFY(error.number() != RunTimeError::PathFileAccessError);
    }
}

QTEST_GUILESS_MAIN(TestResizeLogic)
#include "tst_resizelogic.moc"
