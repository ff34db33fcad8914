#include "CurlFtpClient.h"
#include "FtpTestServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class tst_CurlFtpClient : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void loginIsCheckedAtConnect();
    void foldersAreChangedMadeAndLeftRelatively();
    void putsStoreBinaryAndReplace();
    void namesWithBlanksAndNonAsciiLettersArriveByteForByte();
    void refusedOperationsGiveFalse();
    void stalledServerFailsTheOperationInHand();
    void silentServerFailsTheConnect();

private:
    bool connectAs(CurlFtpClient &client, const QString &user, const QString &password);

    FtpTestServer m_server;
    QTemporaryDir m_local;
};

void tst_CurlFtpClient::initTestCase()
{
    m_server.setStallName(u"stall-here"_s);
    QVERIFY2(m_server.start({{u"pexa"_s, u"p ä:ss"_s}, {u"reader"_s, u"r"_s, u"elr"_s}}),
             qPrintable(m_server.errorText()));
    QVERIFY(m_local.isValid());
}

bool tst_CurlFtpClient::connectAs(CurlFtpClient &client, const QString &user, const QString &password)
{
    return client.open() && client.connect(u"127.0.0.1"_s, m_server.port(), user, password);
}

void tst_CurlFtpClient::loginIsCheckedAtConnect()
{
    CurlFtpClient client;
    QVERIFY(connectAs(client, u"pexa"_s, u"p ä:ss"_s));
    client.close();

    CurlFtpClient wrongPassword;
    QVERIFY(!connectAs(wrongPassword, u"pexa"_s, u"wrong"_s));
    CurlFtpClient unknownUser;
    QVERIFY(!connectAs(unknownUser, u"nobody"_s, u"p ä:ss"_s));

    // A port where nothing listens.
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost));
    const quint16 closedPort = probe.serverPort();
    probe.close();
    CurlFtpClient closed;
    QVERIFY(closed.open());
    QVERIFY(!closed.connect(u"127.0.0.1"_s, closedPort, u"pexa"_s, u"p ä:ss"_s));

    // An address that would read as another URL.
    CurlFtpClient malformed;
    QVERIFY(malformed.open());
    QVERIFY(!malformed.connect(u"evil@127.0.0.1"_s, m_server.port(), u"pexa"_s, u"p ä:ss"_s));
    QVERIFY(!malformed.connect(u"127.0.0.1/x"_s, m_server.port(), u"pexa"_s, u"p ä:ss"_s));

    CurlFtpClient unresolved;
    QVERIFY(unresolved.open());
    QVERIFY(!unresolved.connect(u"no-such-host.invalid"_s, m_server.port(), u"pexa"_s, u"p ä:ss"_s));
}

void tst_CurlFtpClient::foldersAreChangedMadeAndLeftRelatively()
{
    const QString home = m_server.home(u"pexa"_s);
    QVERIFY(QDir(home).mkpath(u"www/photos"_s));
    CurlFtpClient client;
    QVERIFY(connectAs(client, u"pexa"_s, u"p ä:ss"_s));

    QVERIFY(client.changeFolder(u"www"_s));
    QVERIFY(client.changeFolder(u"photos"_s));
    QVERIFY(client.makeFolder(u"2008"_s));
    QVERIFY(QFileInfo(home + u"/www/photos/2008"_s).isDir());
    // Making a folder leaves the working folder where it was.
    QVERIFY(client.makeFolder(u"June"_s));
    QVERIFY(QFileInfo(home + u"/www/photos/June"_s).isDir());
    QVERIFY(client.changeFolder(u"2008"_s));
    QVERIFY(client.makeFolder(u"July"_s));
    QVERIFY(QFileInfo(home + u"/www/photos/2008/July"_s).isDir());

    // ".." returns to the folder that was current before.
    QVERIFY(client.changeFolder(u".."_s));
    QVERIFY(client.makeFolder(u"back"_s));
    QVERIFY(QFileInfo(home + u"/www/photos/back"_s).isDir());
    QVERIFY(client.changeFolder(u".."_s));
    QVERIFY(client.changeFolder(u".."_s));
    QVERIFY(client.makeFolder(u"top"_s));
    QVERIFY(QFileInfo(home + u"/top"_s).isDir());

    // A failed change leaves the working folder as it was.
    QVERIFY(!client.changeFolder(u"missing"_s));
    QVERIFY(client.makeFolder(u"still-top"_s));
    QVERIFY(QFileInfo(home + u"/still-top"_s).isDir());
}

void tst_CurlFtpClient::putsStoreBinaryAndReplace()
{
    const QString home = m_server.home(u"pexa"_s);
    QByteArray binary;
    for (int i = 0; i < 300000; ++i)
        binary.append(static_cast<char>((i * 7) % 256));
    binary.append("\r\n\n\r\0end", 8);
    const QString local = m_local.filePath(u"binary.jpg"_s);
    QVERIFY(writeFile(local, binary));

    CurlFtpClient client;
    QVERIFY(connectAs(client, u"pexa"_s, u"p ä:ss"_s));
    QVERIFY(client.makeFolder(u"puts"_s));
    QVERIFY(client.changeFolder(u"puts"_s));
    qint64 lastSent = 0;
    qint64 lastTotal = 0;
    QVERIFY(client.putFile(local, u"a.jpg"_s, [&](qint64 sent, qint64 total) {
        lastSent = sent;
        lastTotal = total;
    }));
    QCOMPARE(fileBytes(home + u"/puts/a.jpg"_s), binary);
    QCOMPARE(lastTotal, binary.size());
    QCOMPARE(lastSent, binary.size());

    // A second put of the same name replaces the remote file, also by a shorter one.
    QVERIFY(writeFile(local, "short"));
    QVERIFY(client.putFile(local, u"a.jpg"_s, {}));
    QCOMPARE(fileBytes(home + u"/puts/a.jpg"_s), QByteArray("short"));

    QVERIFY(writeFile(local, QByteArray()));
    QVERIFY(client.putFile(local, u"empty.jpg"_s, {}));
    QCOMPARE(fileBytes(home + u"/puts/empty.jpg"_s), QByteArray());
}

void tst_CurlFtpClient::namesWithBlanksAndNonAsciiLettersArriveByteForByte()
{
    const QString home = m_server.home(u"pexa"_s);
    const QString local = m_local.filePath(u"x.jpg"_s);
    QVERIFY(writeFile(local, "photo"));
    CurlFtpClient client;
    QVERIFY(connectAs(client, u"pexa"_s, u"p ä:ss"_s));
    for (const QString &name : {u"Fête d'été 2008"_s, u"a #1 %20 100%"_s, u"東京 ?x;y"_s}) {
        QVERIFY2(client.makeFolder(name), qPrintable(name));
        QVERIFY2(client.changeFolder(name), qPrintable(name));
        QVERIFY2(client.putFile(local, name + u".jpg"_s, {}), qPrintable(name));
        QVERIFY(client.changeFolder(u".."_s));
        QCOMPARE(fileBytes(home + u'/' + name + u'/' + name + u".jpg"_s), QByteArray("photo"));
    }
}

void tst_CurlFtpClient::refusedOperationsGiveFalse()
{
    const QString local = m_local.filePath(u"r.jpg"_s);
    QVERIFY(writeFile(local, "r"));
    QVERIFY(QDir(m_server.home(u"reader"_s)).mkpath(u"inside"_s));

    CurlFtpClient reader;
    QVERIFY(connectAs(reader, u"reader"_s, u"r"_s));
    QVERIFY(!reader.makeFolder(u"new"_s));
    QVERIFY(!reader.putFile(local, u"r.jpg"_s, {}));
    QVERIFY(reader.changeFolder(u"inside"_s));
    QVERIFY(!QFileInfo::exists(m_server.home(u"reader"_s) + u"/new"_s));

    CurlFtpClient client;
    QVERIFY(connectAs(client, u"pexa"_s, u"p ä:ss"_s));
    QVERIFY(!client.putFile(m_local.filePath(u"absent.jpg"_s), u"absent.jpg"_s, {}));
    QVERIFY(!QFileInfo::exists(m_server.home(u"pexa"_s) + u"/absent.jpg"_s));
    // A line break in a name would smuggle in a command of its own.
    QVERIFY(!client.makeFolder(u"evil\r\nDELE x"_s));
    QVERIFY(!client.changeFolder(u"evil\r\nDELE x"_s));
    QVERIFY(!client.changeFolder(QString()));
    // The connection still serves after refusals.
    QVERIFY(client.putFile(local, u"after.jpg"_s, {}));

    CurlFtpClient unopened;
    QVERIFY(!unopened.changeFolder(u"x"_s));
    QVERIFY(!unopened.putFile(local, u"x.jpg"_s, {}));
}

void tst_CurlFtpClient::stalledServerFailsTheOperationInHand()
{
    CurlFtpClient client({30, 2});
    QVERIFY(connectAs(client, u"pexa"_s, u"p ä:ss"_s));
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!client.changeFolder(u"stall-here"_s));
    QVERIFY2(timer.elapsed() < 10000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(timer.elapsed() >= 1900);

    const QString local = m_local.filePath(u"s.jpg"_s);
    QVERIFY(writeFile(local, "s"));
    timer.restart();
    QVERIFY(!client.putFile(local, u"stall-here"_s, {}));
    QVERIFY(timer.elapsed() < 10000);
    // The run goes on after a stall.
    QVERIFY(client.putFile(local, u"fine.jpg"_s, {}));
}

void tst_CurlFtpClient::silentServerFailsTheConnect()
{
    // Listening but never accepting: the connection is made and no greeting comes.
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    CurlFtpClient client({2, 60});
    QVERIFY(client.open());
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!client.connect(u"127.0.0.1"_s, silent.serverPort(), u"pexa"_s, u"x"_s));
    QVERIFY2(timer.elapsed() >= 1900 && timer.elapsed() < 10000,
             qPrintable(QString::number(timer.elapsed())));
}

QTEST_GUILESS_MAIN(tst_CurlFtpClient)
#include "tst_curlftpclient.moc"
