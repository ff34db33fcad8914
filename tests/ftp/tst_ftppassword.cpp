#include "FtpPassword.h"
#include "RunTimeError.h"
#include "ScrambleText.h"
#include "Settings.h"

#include <QFile>
#include <QRandomGenerator>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

const QByteArray Key(ScrambleKey);

QByteArray scrambled(const QByteArray &bytes)
{
    return ScrambleText(bytes, Key);
}

// A password of random UTF-8 text of at most maxBytes bytes: ASCII, accented letters, CJK.
QString randomPassword(QRandomGenerator &random, int maxBytes)
{
    QString text;
    while (true) {
        QChar c;
        switch (random.bounded(4)) {
        case 0:
        case 1:
            c = QChar(random.bounded(0x20, 0x7F));
            break;
        case 2:
            c = QChar(random.bounded(0xA0, 0x800));
            break;
        default:
            c = QChar(random.bounded(0x4E00, 0x9FFF));
            break;
        }
        if ((text + c).toUtf8().size() > maxBytes)
            return text;
        text += c;
    }
}

// How the settings file decodes a line: UTF-8, or Latin-1 when the bytes are not UTF-8.
QString decodedLikeTheFile(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    return decoder.hasError() ? QString::fromLatin1(bytes) : text;
}

} // namespace

class tst_FtpPassword : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void scrambleCombinesEachByteWithTheRunningKey();
    void scrambleIsItsOwnInverseForEveryByteValue();
    void scrambleOfEmptyTextIsEmptyAndAnEmptyKeyIsError5();

    void awkwardScrambledFormsSurviveTheFile_data();
    void awkwardScrambledFormsSurviveTheFile();
    void everyPasswordUpTo200BytesSurvivesTheFile();
    void carriedPasswordsAreStoredInTheOldForm();
    void oldFormFilesReadAsBefore();
    void emptyPasswordIsStoredEmpty();

private:
    QString roundTrip(const QString &password);
    QByteArray passwordLine() const;

    QTemporaryDir m_dir;
};

void tst_FtpPassword::init()
{
    QVERIFY(m_dir.isValid());
    QFile::remove(m_dir.filePath(u"settings.ini"_s));
    SettingsLocation::setFolderOverride(m_dir.path());
}

void tst_FtpPassword::cleanup()
{
    SettingsLocation::setFolderOverride(QString());
}

QString tst_FtpPassword::roundTrip(const QString &password)
{
    WriteIniValue(u"settings.ini"_s, u"ftp"_s, u"password"_s, FtpPassword::storedForm(password));
    return FtpPassword::fromStored(ReadIniValue(u"settings.ini"_s, u"ftp"_s, u"password"_s));
}

QByteArray tst_FtpPassword::passwordLine() const
{
    QFile file(m_dir.filePath(u"settings.ini"_s));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith("password="))
            return line.mid(9);
    }
    return QByteArray();
}

void tst_FtpPassword::scrambleCombinesEachByteWithTheRunningKey()
{
    // 33 bytes: three rounds of the 16-byte key, the second with 17 added to every key byte,
    // the third with 34.
    const QByteArray text(33, 'A');
    const QByteArray result = scrambled(text);
    QCOMPARE(result.size(), 33);
    QCOMPARE(static_cast<uint8_t>(result.at(0)), 'A' ^ 'Q');
    QCOMPARE(static_cast<uint8_t>(result.at(15)), 'A' ^ '2');
    QCOMPARE(static_cast<uint8_t>(result.at(16)), 'A' ^ ('Q' + 17));
    QCOMPARE(static_cast<uint8_t>(result.at(17)), 'A' ^ ('M' + 17));
    QCOMPARE(static_cast<uint8_t>(result.at(32)), 'A' ^ ('Q' + 34));

    // A 17-character password: its 17th character meets the key's first code plus 17.
    const QByteArray password = "abcdefghijklmnopq";
    const QByteArray stored = scrambled(password);
    QCOMPARE(static_cast<uint8_t>(stored.at(16)), 'q' ^ (('Q' + 17) & 0xFF));
    for (int i = 0; i < 16; ++i)
        QCOMPARE(static_cast<uint8_t>(stored.at(i)), static_cast<uint8_t>(password.at(i) ^ Key.at(i)));

    // The addition wraps at 256: a key byte of 0xF0 is 0x01 in its second round.
    QCOMPARE(ScrambleText(QByteArray(2, '\0'), QByteArray(1, '\xF0')), QByteArray("\xF0\x01"));
}

void tst_FtpPassword::scrambleIsItsOwnInverseForEveryByteValue()
{
    QByteArray everyByte;
    for (int round = 0; round < 3; ++round) {
        for (int b = 0; b < 256; ++b)
            everyByte.append(static_cast<char>(b));
    }
    const QByteArray once = scrambled(everyByte);
    QVERIFY(once != everyByte);
    QCOMPARE(scrambled(once), everyByte);
    QCOMPARE(ScrambleText(ScrambleText(everyByte, "k"), "k"), everyByte);
}

void tst_FtpPassword::scrambleOfEmptyTextIsEmptyAndAnEmptyKeyIsError5()
{
    QCOMPARE(scrambled(QByteArray()), QByteArray());
    try {
        ScrambleText("secret", QByteArray());
        QFAIL("an empty key was accepted");
    } catch (const RunTimeError &error) {
        QCOMPARE(error.number(), 5);
    }
}

void tst_FtpPassword::awkwardScrambledFormsSurviveTheFile_data()
{
    QTest::addColumn<QByteArray>("scrambledForm");
    QTest::newRow("NUL") << QByteArray("ab\0cd", 5);
    QTest::newRow("NUL first") << QByteArray("\0abc", 4);
    QTest::newRow("CR") << QByteArray("ab\rcd");
    QTest::newRow("LF") << QByteArray("ab\ncd");
    QTest::newRow("CR LF last") << QByteArray("abcd\r\n");
    QTest::newRow("leading blank") << QByteArray(" abcd");
    QTest::newRow("trailing blanks") << QByteArray("abcd  ");
    QTest::newRow("tab") << QByteArray("\tabcd");
    QTest::newRow("double quotes") << QByteArray("\"abcd\"");
    QTest::newRow("single quotes") << QByteArray("'abcd'");
    QTest::newRow("only quotes") << QByteArray("\"\"");
    QTest::newRow("quoted base64") << QByteArray("\"QUJD\"");
    QTest::newRow("equals and semicolon") << QByteArray(";a=b[c]");
}

void tst_FtpPassword::awkwardScrambledFormsSurviveTheFile()
{
    QFETCH(QByteArray, scrambledForm);
    // The password whose scrambled form this is; ASCII forms give ASCII passwords here.
    const QString password = QString::fromUtf8(scrambled(scrambledForm));
    QCOMPARE(password.toUtf8(), scrambled(scrambledForm));
    QCOMPARE(roundTrip(password), password);
}

void tst_FtpPassword::everyPasswordUpTo200BytesSurvivesTheFile()
{
    QRandomGenerator random(20261208);
    for (int i = 0; i < 600; ++i) {
        const QString password = randomPassword(random, 1 + i % 200);
        QCOMPARE(roundTrip(password), password);
    }
    // Every single byte value as the scrambled form of a one-byte password that is UTF-8.
    for (int b = 0; b < 128; ++b) {
        const QString password = QString::fromUtf8(scrambled(QByteArray(1, static_cast<char>(b))));
        QCOMPARE(roundTrip(password), password);
    }
}

void tst_FtpPassword::carriedPasswordsAreStoredInTheOldForm()
{
    const QString password = u"Secret pass 1"_s;
    QCOMPARE(roundTrip(password), password);
    QCOMPARE(passwordLine(), scrambled(password.toUtf8()));

    // A scrambled form with a line break cannot be stored as it is.
    const QString awkward = QString::fromUtf8(scrambled("ab\ncd"));
    QCOMPARE(roundTrip(awkward), awkward);
    QVERIFY(!passwordLine().contains('\n'));
    QVERIFY(passwordLine().startsWith("\"\""));
}

void tst_FtpPassword::oldFormFilesReadAsBefore()
{
    QRandomGenerator random(4242);
    int carried = 0;
    int nonUtf8 = 0;
    for (int i = 0; i < 800; ++i) {
        const QString password = randomPassword(random, 1 + i % 60);
        const QByteArray form = scrambled(password.toUtf8());
        QFile file(m_dir.filePath(u"settings.ini"_s));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("[ftp]\naddress=host\npassword=" + form + "\nport=21\n");
        file.close();
        const QString read = ReadIniValue(u"settings.ini"_s, u"ftp"_s, u"password"_s);
        // The old form carried the password only where the file gives its text back unchanged.
        if (read != decodedLikeTheFile(form) || form.contains('\0') || form.contains('\n') ||
            form.contains('\r'))
            continue;
        ++carried;
        if (decodedLikeTheFile(form) == QString::fromLatin1(form) && !form.isEmpty() &&
            QString::fromUtf8(form) != QString::fromLatin1(form))
            ++nonUtf8;
        QCOMPARE(FtpPassword::fromStored(read), password);
    }
    QVERIFY2(carried > 500, qPrintable(QString::number(carried)));
    QVERIFY2(nonUtf8 > 100, qPrintable(QString::number(nonUtf8)));
}

void tst_FtpPassword::emptyPasswordIsStoredEmpty()
{
    QCOMPARE(FtpPassword::storedForm(QString()), QString());
    QCOMPARE(FtpPassword::fromStored(QString()), QString());
}

QTEST_GUILESS_MAIN(tst_FtpPassword)
#include "tst_ftppassword.moc"
