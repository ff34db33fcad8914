#include "cInifile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <stdexcept>
#include <sys/stat.h>

using namespace Qt::Literals::StringLiterals;

namespace {

// A window double: remembers where it was put and can fail on demand.
class FakeWindow : public FormWindow
{
public:
    FakeWindow(int left, int top, int width, int height, State state = Normal)
        : m_state(state), m_left(left), m_top(top), m_width(width), m_height(height)
    {}

    State windowState() const override { return m_state; }
    void setWindowState(State state) override { m_state = state; }
    int left() const override { return m_left; }
    int top() const override { return m_top; }
    int width() const override { return m_width; }
    int height() const override { return m_height; }
    void move(int left, int top, int width, int height) override
    {
        if (failMove)
            throw std::runtime_error("move refused");
        ++moves;
        m_left = left;
        m_top = top;
        m_width = width;
        m_height = height;
    }

    int moves = 0;
    bool failMove = false;

private:
    State m_state;
    int m_left;
    int m_top;
    int m_width;
    int m_height;
};

// The process's file-creation mask for one test.
class CreationMask
{
public:
    explicit CreationMask(mode_t mask) : m_before(::umask(mask)) {}
    ~CreationMask() { ::umask(m_before); }
    CreationMask(const CreationMask &) = delete;
    CreationMask &operator=(const CreationMask &) = delete;

private:
    mode_t m_before;
};

// The owner's, group's and others' bits, without those Qt adds for the user running the test.
const QFile::Permissions modeBits(0x7077);

// 1280 x 960 pixels at 15 twips per pixel: the four-pixel margin is 60 twips.
const ScreenMetrics screen{19200, 14400, 15, 15};

} // namespace

class tst_cInifile : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void missingFileSectionOrKeyReadsDefault();
    void firstWriteCreatesFile();
    void valuesRoundTrip_data();
    void valuesRoundTrip();
    void handWrittenFileIsUnderstood();
    void fileKeepsOrderAndRewritesInPlace();
    void newKeyFollowsLastKeyOfItsSection();
    void lineEndingsAndByteOrderMarkKept();
    void deleteKeyAndSection();
    void deletingWhatIsMissingCreatesNoFile();
    void unsafeNamesAndValuesAreRefused_data();
    void unsafeNamesAndValuesAreRefused();
    void failedWriteClearsSuccess_data();
    void failedWriteClearsSuccess();
    void unreadableFileIsNotReplaced();
    void replacementKeepsPermissionsAndLeavesNoTemporaryFile();
    void newFileIsOwnerOnly();

    void keyAndSectionLists();
    void enumerations();

    void clngDefault_data();
    void clngDefault();

    void saveFormPosition();
    void saveMinimisedOrMaximised();
    void saveFailureLeavesZero();
    void loadFromEmptySection();
    void loadAppliesMinimumsAndEdges_data();
    void loadAppliesMinimumsAndEdges();
    void loadMaximised();
    void loadErrorsAreSwallowed();

private:
    void writeFile(const QByteArray &content);
    QByteArray fileContent() const;
    void store(const QString &section, const QString &key, const QString &value);

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
    cInifile m_ini;
};

void tst_cInifile::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_path = m_dir->filePath(u"test.ini"_s);
    m_ini = cInifile();
    m_ini.setPath(m_path);
}

void tst_cInifile::writeFile(const QByteArray &content)
{
    QFile file(m_path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

QByteArray tst_cInifile::fileContent() const
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return "<unreadable>";
    return file.readAll();
}

void tst_cInifile::store(const QString &section, const QString &key, const QString &value)
{
    m_ini.setSection(section);
    m_ini.setKey(key);
    m_ini.setValue(value);
    QVERIFY(m_ini.Success());
}

void tst_cInifile::missingFileSectionOrKeyReadsDefault()
{
    m_ini.setSection(u"main"_s);
    m_ini.setKey(u"resize_mode"_s);
    QCOMPARE(m_ini.Value(), QString());
    m_ini.setDefault(u"dflt"_s);
    QCOMPARE(m_ini.Value(), u"dflt"_s);

    writeFile("[main]\nother=1\n");
    QCOMPARE(m_ini.Value(), u"dflt"_s);
    m_ini.setSection(u"ftp"_s);
    QCOMPARE(m_ini.Value(), u"dflt"_s);
    // Reads leave the last write's result alone.
    QCOMPARE(m_ini.LastReturnCode(), 0);
}

void tst_cInifile::firstWriteCreatesFile()
{
    QVERIFY(!QFile::exists(m_path));
    store(u"main"_s, u"tn_prefix"_s, u"tn_"_s);
    QVERIFY(m_ini.LastReturnCode() != 0);
    QCOMPARE(fileContent(), "[main]\ntn_prefix=tn_\n");
    QCOMPARE(m_ini.Value(), u"tn_"_s);
}

void tst_cInifile::valuesRoundTrip_data()
{
    QTest::addColumn<QString>("written");
    QTest::addColumn<QString>("read");
    QTest::addColumn<QByteArray>("line");

    const QString longPath = u"/home/user/"_s + QString(300, u'x');
    QTest::newRow("plain") << u"600W"_s << u"600W"_s << QByteArray("k=600W");
    QTest::newRow("empty stored as key and equals") << QString() << QString() << QByteArray("k=");
    QTest::newRow("blanks trimmed") << u"  a b  "_s << u"a b"_s << QByteArray("k=  a b  ");
    QTest::newRow("double quotes dropped") << u"\"q r\""_s << u"q r"_s << QByteArray("k=\"q r\"");
    QTest::newRow("single quotes dropped") << u"'q'"_s << u"q"_s << QByteArray("k='q'");
    QTest::newRow("one pair only") << u"\"\"q\"\""_s << u"\"q\""_s << QByteArray("k=\"\"q\"\"");
    QTest::newRow("quotes not enclosing") << u"\"q'"_s << u"\"q'"_s << QByteArray("k=\"q'");
    QTest::newRow("lone quote kept") << u"\""_s << u"\""_s << QByteArray("k=\"");
    QTest::newRow("NUL removed") << u"a"_s + QChar(0) + u"b"_s + QChar(0) << u"ab"_s << QByteArray("k=ab");
    QTest::newRow("equals in value") << u"a=b"_s << u"a=b"_s << QByteArray("k=a=b");
    QTest::newRow("300 characters read whole") << longPath << longPath << (u"k="_s + longPath).toUtf8();
    QTest::newRow("non-ASCII as UTF-8")
        << u"/fotos/Müller €"_s << u"/fotos/Müller €"_s << QByteArray("k=/fotos/M\xC3\xBCller \xE2\x82\xAC");
}

void tst_cInifile::valuesRoundTrip()
{
    QFETCH(QString, written);
    QFETCH(QString, read);
    QFETCH(QByteArray, line);

    store(u"s"_s, u"k"_s, written);
    QCOMPARE(m_ini.Value(), read);
    QCOMPARE(fileContent(), "[s]\n" + line + "\n");
}

void tst_cInifile::handWrittenFileIsUnderstood()
{
    writeFile("; written by hand\r\n"
              "stray=before any section\r\n"
              "[ MAIN ]  trailing words\r\n"
              "  Resize_Mode =  All to Limit  \r\n"
              "a line without equals\r\n"
              "; tn_prefix=commented out\r\n"
              "\r\n"
              "tn_prefix = 'th_'\r\n"
              "[Ftp\r\n"
              "Address=\"ftp.example.com\"\r\n");

    m_ini.setDefault(u"missing"_s);
    m_ini.setSection(u"main"_s);
    m_ini.setKey(u"resize_mode"_s);
    QCOMPARE(m_ini.Value(), u"All to Limit"_s);
    m_ini.setKey(u"TN_PREFIX"_s);
    QCOMPARE(m_ini.Value(), u"th_"_s);
    m_ini.setKey(u"a line without equals"_s);
    QCOMPARE(m_ini.Value(), u"missing"_s);
    m_ini.setKey(u"stray"_s);
    QCOMPARE(m_ini.Value(), u"missing"_s);
    // A header without its closing bracket still opens a section.
    m_ini.setSection(u"ftp"_s);
    m_ini.setKey(u"address"_s);
    QCOMPARE(m_ini.Value(), u"ftp.example.com"_s);
}

void tst_cInifile::fileKeepsOrderAndRewritesInPlace()
{
    store(u"main"_s, u"b"_s, u"1"_s);
    store(u"ftp"_s, u"z"_s, u"2"_s);
    store(u"main"_s, u"a"_s, u"3"_s);
    QCOMPARE(fileContent(), "[main]\nb=1\na=3\n[ftp]\nz=2\n");

    QFile file(m_path);
    QVERIFY(file.open(QIODevice::Append));
    file.write("; note kept\nunknown line\n\xFF raw byte line\n");
    file.close();

    store(u"MAIN"_s, u"B"_s, u"changed"_s);
    QCOMPARE(fileContent(),
             "[main]\nb=changed\na=3\n[ftp]\nz=2\n; note kept\nunknown line\n\xFF raw byte line\n");
}

void tst_cInifile::newKeyFollowsLastKeyOfItsSection()
{
    writeFile("[main]\nx=1\n; about y\ny=2\n\n; the ftp section\n[ftp]\n");
    store(u"main"_s, u"new"_s, u"3"_s);
    store(u"ftp"_s, u"port"_s, u"21"_s);
    QCOMPARE(fileContent(), "[main]\nx=1\n; about y\ny=2\nnew=3\n\n; the ftp section\n[ftp]\nport=21\n");
}

void tst_cInifile::lineEndingsAndByteOrderMarkKept()
{
    writeFile("\xEF\xBB\xBF[main]\r\nx=1\r\n[ftp]\r\nport=21");
    m_ini.setSection(u"main"_s);
    m_ini.setKey(u"x"_s);
    QCOMPARE(m_ini.Value(), u"1"_s);
    store(u"main"_s, u"y"_s, u"2"_s);
    store(u"ftp"_s, u"port"_s, u"2121"_s);
    QCOMPARE(fileContent(), "\xEF\xBB\xBF[main]\r\nx=1\r\ny=2\r\n[ftp]\r\nport=2121\r\n");
}

void tst_cInifile::deleteKeyAndSection()
{
    writeFile("[main]\na=1\nb=2\nB=shadowed\n[ftp]\nport=21\n[Main]\nc=3\n");
    m_ini.setSection(u"main"_s);
    m_ini.setKey(u"b"_s);
    m_ini.DeleteKey();
    QVERIFY(m_ini.Success());
    QCOMPARE(fileContent(), "[main]\na=1\n[ftp]\nport=21\n[Main]\nc=3\n");

    // Every block of the section goes, so no later duplicate surfaces in its place.
    m_ini.DeleteSection();
    QVERIFY(m_ini.Success());
    QCOMPARE(fileContent(), "[ftp]\nport=21\n");

    m_ini.setSection(u"FTP"_s);
    m_ini.setINISection(u"ignored"_s);
    QVERIFY(m_ini.Success());
    QCOMPARE(fileContent(), "");
}

void tst_cInifile::deletingWhatIsMissingCreatesNoFile()
{
    m_ini.setSection(u"main"_s);
    m_ini.setKey(u"a"_s);
    m_ini.DeleteKey();
    QVERIFY(m_ini.Success());
    m_ini.DeleteSection();
    QVERIFY(m_ini.Success());
    QVERIFY(!QFile::exists(m_path));
}

void tst_cInifile::unsafeNamesAndValuesAreRefused_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");

    QTest::newRow("value with line feed") << u"main"_s << u"k"_s << u"x\n[ftp]\naddress=evil"_s;
    QTest::newRow("value with carriage return") << u"main"_s << u"k"_s << u"x\ry"_s;
    QTest::newRow("key with equals") << u"main"_s << u"a=b"_s << u"v"_s;
    QTest::newRow("key opening a section") << u"main"_s << u"[ftp]"_s << u"v"_s;
    QTest::newRow("key as comment") << u"main"_s << u";k"_s << u"v"_s;
    QTest::newRow("empty key") << u"main"_s << QString() << u"v"_s;
    QTest::newRow("section with bracket") << u"a]b"_s << u"k"_s << u"v"_s;
    QTest::newRow("section with line feed") << u"a\nb"_s << u"k"_s << u"v"_s;
    QTest::newRow("empty section") << QString() << u"k"_s << u"v"_s;
}

void tst_cInifile::unsafeNamesAndValuesAreRefused()
{
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);

    writeFile("[main]\nk=old\n");
    store(u"main"_s, u"k"_s, u"old"_s);
    m_ini.setSection(section);
    m_ini.setKey(key);
    m_ini.setValue(value);
    QVERIFY(!m_ini.Success());
    QCOMPARE(fileContent(), "[main]\nk=old\n");
}

void tst_cInifile::failedWriteClearsSuccess_data()
{
    QTest::addColumn<QString>("where");
    QTest::newRow("missing folder") << u"missing/test.ini"_s;
    QTest::newRow("folder is a file") << u"plain/test.ini"_s;
    QTest::newRow("read-only folder") << u"locked/test.ini"_s;
}

void tst_cInifile::failedWriteClearsSuccess()
{
    QFETCH(QString, where);

    QFile plain(m_dir->filePath(u"plain"_s));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    const QString locked = m_dir->filePath(u"locked"_s);
    QVERIFY(QDir().mkdir(locked));
    QVERIFY(QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner));
    QFile probe(locked + u"/probe"_s);
    if (where.startsWith(u"locked"_s) && probe.open(QIODevice::WriteOnly))
        QSKIP("a privileged user writes into read-only folders");

    store(u"main"_s, u"k"_s, u"ok"_s);
    m_ini.setPath(m_dir->filePath(where));
    m_ini.setValue(u"lost"_s);
    QVERIFY(!m_ini.Success());
    QCOMPARE(m_ini.LastReturnCode(), 0);
    QCOMPARE(m_ini.Value(), QString());
    QVERIFY(!QFile::exists(m_dir->filePath(where)));

    m_ini.setPath(m_path);
    m_ini.setValue(u"stored"_s);
    QVERIFY(m_ini.Success());
    QVERIFY(QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

void tst_cInifile::unreadableFileIsNotReplaced()
{
    // A path that exists but cannot be read as a file must not be replaced by a new one.
    QVERIFY(QDir().mkdir(m_path));
    m_ini.setSection(u"main"_s);
    m_ini.setKey(u"k"_s);
    m_ini.setValue(u"v"_s);
    QVERIFY(!m_ini.Success());
    QVERIFY(QFileInfo(m_path).isDir());
}

void tst_cInifile::replacementKeepsPermissionsAndLeavesNoTemporaryFile()
{
    writeFile("[main]\nk=1\n");
    const QFile::Permissions ownerOnly = QFile::ReadOwner | QFile::WriteOwner;
    QVERIFY(QFile::setPermissions(m_path, ownerOnly));
    store(u"main"_s, u"k"_s, u"2"_s);
    store(u"main"_s, u"j"_s, u"3"_s);
    QCOMPARE(QFile::permissions(m_path) & modeBits, ownerOnly);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"test.ini"_s});
}

void tst_cInifile::newFileIsOwnerOnly()
{
    // However open the mask, a new file is the owner's alone; one that exists keeps its bits.
    const CreationMask everyoneReads(022);
    store(u"ftp"_s, u"password"_s, u"x"_s);
    QCOMPARE(QFile::permissions(m_path) & modeBits, QFile::ReadOwner | QFile::WriteOwner);
    QCOMPARE(fileContent(), "[ftp]\npassword=x\n");

    const QFile::Permissions shared =
        QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther;
    QVERIFY(QFile::setPermissions(m_path, shared));
    store(u"ftp"_s, u"password"_s, u"y"_s);
    QCOMPARE(QFile::permissions(m_path) & modeBits, shared);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"test.ini"_s});
}

void tst_cInifile::keyAndSectionLists()
{
    m_ini.setSection(u"main"_s);
    QCOMPARE(m_ini.INISection(), QString());
    QCOMPARE(m_ini.Sections(), QString());

    writeFile("[main]\nb=1\na=\n; c=3\nno equals\nB=dup\n[ftp]\nport=21\n[MAIN]\nlater=1\n");
    const QChar nul(0);
    QCOMPARE(m_ini.INISection(), u"b"_s + nul + u"a"_s + nul);
    QCOMPARE(m_ini.Sections(), u"main"_s + nul + u"ftp"_s + nul);
    m_ini.setSection(u"absent"_s);
    m_ini.setDefault(u"dflt"_s);
    QCOMPARE(m_ini.INISection(), QString());
}

void tst_cInifile::enumerations()
{
    QStringList names{u"stale"_s};
    int count = 99;
    m_ini.setSection(u"absent"_s);
    m_ini.EnumerateCurrentSection(names, count);
    QCOMPARE(count, 0);
    QVERIFY(names.isEmpty());
    names = QStringList{u"stale"_s};
    m_ini.EnumerateAllSections(names, count);
    QCOMPARE(count, 0);
    QVERIFY(names.isEmpty());

    // "=x" has an empty key name and "[]" an empty section name.
    writeFile("[main]\nfirst=1\n=x\nlast=2\n[]\nk=1\n[ftp]\n");
    m_ini.setSection(u"main"_s);
    m_ini.EnumerateCurrentSection(names, count);
    QCOMPARE(count, 3);
    QCOMPARE(names, (QStringList{u"first"_s, QString(), u"last"_s}));
    m_ini.EnumerateAllSections(names, count);
    QCOMPARE(count, 2);
    QCOMPARE(names, (QStringList{u"main"_s, u"ftp"_s}));
}

void tst_cInifile::clngDefault_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");

    const int dflt = 7;
    QTest::newRow("not a number") << u"FAIL"_s << dflt;
    QTest::newRow("empty") << QString() << dflt;
    QTest::newRow("whole") << u"12"_s << 12;
    QTest::newRow("blanks and sign") << u"  -12 "_s << -12;
    QTest::newRow("plus sign") << u"+3"_s << 3;
    QTest::newRow("leading zeros") << u"0000000000000000000042"_s << 42;
    QTest::newRow("half down to even") << u"2.5"_s << 2;
    QTest::newRow("half up to even") << u"3.5"_s << 4;
    QTest::newRow("negative half") << u"-2.5"_s << -2;
    QTest::newRow("zero point five") << u"0.5"_s << 0;
    QTest::newRow("just above half") << u"2.5000000000000000001"_s << 3;
    QTest::newRow("below half") << u"2.49999"_s << 2;
    QTest::newRow("no integer digits") << u".7"_s << 1;
    QTest::newRow("trailing point") << u"5."_s << 5;
    QTest::newRow("exponent") << u"1e3"_s << 1000;
    QTest::newRow("negative exponent") << u"15E-1"_s << 2;
    QTest::newRow("tiny") << u"1e-999999999999"_s << 0;
    QTest::newRow("zero with huge exponent") << u"0e999999999999"_s << 0;
    QTest::newRow("largest") << u"2147483647"_s << 2147483647;
    QTest::newRow("smallest") << u"-2147483648"_s << int(-2147483648LL);
    QTest::newRow("smallest rounded") << u"-2147483648.5"_s << int(-2147483648LL);
    QTest::newRow("overflow") << u"2147483648"_s << dflt;
    QTest::newRow("overflow by rounding") << u"2147483647.5"_s << dflt;
    QTest::newRow("far out of range") << u"99999999999999999999999"_s << dflt;
    QTest::newRow("huge exponent") << u"1e999999999999"_s << dflt;
    QTest::newRow("trailing letters") << u"12abc"_s << dflt;
    QTest::newRow("two points") << u"1.2.3"_s << dflt;
    QTest::newRow("point alone") << u"."_s << dflt;
    QTest::newRow("sign alone") << u"-"_s << dflt;
    QTest::newRow("exponent without digits") << u"1e"_s << dflt;
    QTest::newRow("inner blank") << u"1 2"_s << dflt;
}

void tst_cInifile::clngDefault()
{
    QFETCH(QString, text);
    QFETCH(int, expected);
    QCOMPARE(cInifile::CLngDefault(text, 7), expected);
}

void tst_cInifile::saveFormPosition()
{
    m_ini.setSection(u"frmMain"_s);
    m_ini.setKey(u"caller"_s);
    m_ini.SaveFormPosition(FakeWindow(120, 240, 9000, -5));
    QVERIFY(m_ini.Success());
    QCOMPARE(m_ini.Key(), u"caller"_s);
    QCOMPARE(fileContent(), "[frmMain]\nMaximised=0\nLeft=120\nTop=240\nWidth=9000\nHeight=-5\n");
}

void tst_cInifile::saveMinimisedOrMaximised()
{
    m_ini.setSection(u"frmMain"_s);
    m_ini.SaveFormPosition(FakeWindow(1, 2, 3, 4, FormWindow::Minimised));
    QVERIFY(!QFile::exists(m_path));

    writeFile("[frmMain]\nMaximised=0\nLeft=120\n");
    m_ini.SaveFormPosition(FakeWindow(1, 2, 3, 4, FormWindow::Maximised));
    QVERIFY(m_ini.Success());
    QCOMPARE(fileContent(), "[frmMain]\nMaximised=1\nLeft=120\n");
}

void tst_cInifile::saveFailureLeavesZero()
{
    store(u"main"_s, u"k"_s, u"v"_s);
    m_ini.setPath(m_dir->filePath(u"missing/test.ini"_s));
    m_ini.setSection(u"frmMain"_s);
    m_ini.setKey(u"caller"_s);
    m_ini.SaveFormPosition(FakeWindow(120, 240, 9000, 6000));
    QCOMPARE(m_ini.LastReturnCode(), 0);
    QCOMPARE(m_ini.Key(), u"caller"_s);
}

void tst_cInifile::loadFromEmptySection()
{
    writeFile("[frmMain]\n");
    m_ini.setSection(u"frmMain"_s);
    m_ini.setKey(u"caller"_s);
    m_ini.setDefault(u"dflt"_s);

    FakeWindow inside(1000, 2000, 5000, 4000);
    m_ini.LoadFormPosition(inside, screen);
    QCOMPARE(inside.moves, 1);
    QCOMPARE(QList<int>({inside.left(), inside.top(), inside.width(), inside.height()}),
             QList<int>({1000, 2000, 5000, 4000}));
    QCOMPARE(inside.windowState(), FormWindow::Normal);
    QCOMPARE(m_ini.Key(), u"caller"_s);
    QCOMPARE(m_ini.Default(), u"dflt"_s);

    // The window's own place still has to meet the minimum size and the screen edges.
    FakeWindow cornered(0, -100, 1000, 20000);
    m_ini.LoadFormPosition(cornered, screen);
    QCOMPARE(QList<int>({cornered.left(), cornered.top(), cornered.width(), cornered.height()}),
             QList<int>({60, 60, 3000, 14280}));
}

void tst_cInifile::loadAppliesMinimumsAndEdges_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QList<int>>("expected");

    QTest::newRow("width below minimum")
        << QByteArray("Left=600\nTop=600\nWidth=1000\nHeight=5000") << QList<int>{600, 600, 3000, 5000};
    QTest::newRow("left at screen edge")
        << QByteArray("Left=0\nTop=0\nWidth=6000\nHeight=5000") << QList<int>{60, 60, 6000, 5000};
    QTest::newRow("wider than the screen")
        << QByteArray("Left=500\nTop=500\nWidth=25000\nHeight=5000") << QList<int>{60, 500, 19080, 5000};
    QTest::newRow("past the right edge")
        << QByteArray("Left=18000\nTop=500\nWidth=6000\nHeight=5000") << QList<int>{13140, 500, 6000, 5000};
    QTest::newRow("below the bottom edge")
        << QByteArray("Left=500\nTop=14000\nWidth=6000\nHeight=5000") << QList<int>{500, 9340, 6000, 5000};
    QTest::newRow("fractions and blanks")
        << QByteArray("Left= 600.5 \nTop=\"601.5\"\nWidth=6e3\nHeight=x") << QList<int>{600, 602, 6000, 4444};
}

void tst_cInifile::loadAppliesMinimumsAndEdges()
{
    QFETCH(QByteArray, stored);
    QFETCH(QList<int>, expected);

    writeFile("[frmMain]\n" + stored + "\n");
    m_ini.setSection(u"FRMMAIN"_s);
    FakeWindow window(1111, 2222, 3333, 4444);
    m_ini.LoadFormPosition(window, screen);
    QCOMPARE(window.moves, 1);
    QCOMPARE(QList<int>({window.left(), window.top(), window.width(), window.height()}), expected);
}

void tst_cInifile::loadMaximised()
{
    writeFile("[frmMain]\nMaximised=1\n");
    m_ini.setSection(u"frmMain"_s);
    FakeWindow window(1000, 1000, 5000, 5000);
    m_ini.LoadFormPosition(window, screen);
    QCOMPARE(window.windowState(), FormWindow::Maximised);

    // On a screen too small for the minimum size the window stays where it is.
    writeFile("[frmMain]\nLeft=0\nTop=0\nWidth=5000\nHeight=5000\n");
    FakeWindow small(10, 20, 30, 40);
    m_ini.LoadFormPosition(small, ScreenMetrics{2400, 2400, 15, 15});
    QCOMPARE(small.moves, 0);
    QCOMPARE(small.windowState(), FormWindow::Normal);
}

void tst_cInifile::loadErrorsAreSwallowed()
{
    store(u"frmMain"_s, u"Left"_s, u"100"_s);
    m_ini.setKey(u"caller"_s);
    m_ini.setDefault(u"dflt"_s);

    FakeWindow refusing(1000, 1000, 5000, 5000);
    refusing.failMove = true;
    m_ini.LoadFormPosition(refusing, screen);
    QCOMPARE(m_ini.LastReturnCode(), 0);
    QCOMPARE(m_ini.Key(), u"caller"_s);
    QCOMPARE(m_ini.Default(), u"dflt"_s);

    // Positions whose sum leaves 32 bits fail like an overflow, before the window moves.
    store(u"frmMain"_s, u"Left"_s, u"2147483000"_s);
    m_ini.setKey(u"caller"_s);
    FakeWindow far(1000, 1000, 5000, 5000);
    m_ini.LoadFormPosition(far, screen);
    QCOMPARE(m_ini.LastReturnCode(), 0);
    QCOMPARE(far.moves, 0);
    QCOMPARE(m_ini.Key(), u"caller"_s);
    QCOMPARE(m_ini.Default(), u"dflt"_s);
}

QTEST_GUILESS_MAIN(tst_cInifile)
#include "tst_cinifile.moc"
