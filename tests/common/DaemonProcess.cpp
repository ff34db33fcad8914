#include "DaemonProcess.h"

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

// Stops the daemon when the test closes its end of our standard input, or ends however it ends;
// exits when the daemon does. (A command put in the background reads /dev/null unless told
// otherwise, hence the copy of standard input.)
const char wrapper[] = R"(signal=$1
program=$2
shift 2
exec 3<&0
"$program" "$@" </dev/null 3<&- &
pid=$!
(cat <&3 >/dev/null; kill -s "$signal" "$pid") >/dev/null 2>&1 &
exec 3<&-
wait "$pid"
)";

// What proftpd and vsftpd say when another process has the port.
bool portTaken(const QString &output)
{
    return output.contains(u"Address already in use"_s) || output.contains(u"could not bind"_s);
}

} // namespace

QString DaemonProcess::findProgram(const QString &name)
{
    const QString onPath = QStandardPaths::findExecutable(name);
    return onPath.isEmpty() ? QStandardPaths::findExecutable(name, {u"/usr/sbin"_s, u"/usr/local/sbin"_s})
                            : onPath;
}

DaemonProcess::DaemonProcess() = default;

DaemonProcess::~DaemonProcess()
{
    stop();
}

QString DaemonProcess::readFiles(const QStringList &names) const
{
    QString text;
    for (const QString &name : names) {
        QFile file(filePath(name));
        if (file.open(QIODevice::ReadOnly))
            text += name + u":\n"_s + QString::fromLocal8Bit(file.readAll());
    }
    return text;
}

bool DaemonProcess::writeFile(const QString &name, const QByteArray &contents)
{
    QFile file(filePath(name));
    if (file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size() &&
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return true;
    return fail(u"cannot write "_s + file.fileName() + u": "_s + file.errorString());
}

bool DaemonProcess::makeAccount(const QString &password, Account *account)
{
    const passwd *nobody = ::getpwnam("nobody");
    const group *nobodysGroup = nobody ? ::getgrgid(nobody->pw_gid) : nullptr;
    if (!nobody || !nobodysGroup)
        return fail(u"there is no user \"nobody\" with a group to serve the account as"_s);
    account->uid = nobody->pw_uid;
    account->gid = nobody->pw_gid;
    account->groupName = nobodysGroup->gr_name;

    if (!QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                 QFileDevice::ExeOwner | QFileDevice::ExeGroup |
                                                 QFileDevice::ExeOther) ||
        !QDir().mkpath(home()) ||
        ::chown(QFile::encodeName(home()).constData(), nobody->pw_uid, nobody->pw_gid) != 0)
        return fail(u"cannot make the home "_s + home());

    QProcess openssl;
    openssl.start(u"openssl"_s, {u"passwd"_s, u"-6"_s, u"-stdin"_s});
    openssl.write(password.toUtf8() + '\n');
    openssl.closeWriteChannel();
    const bool hashed = openssl.waitForFinished(10000) && openssl.exitCode() == 0;
    account->passwordHash = openssl.readAllStandardOutput().trimmed();
    if (!hashed || account->passwordHash.isEmpty())
        return fail(u"openssl passwd failed: "_s + QString::fromLocal8Bit(openssl.readAllStandardError()));
    return true;
}

bool DaemonProcess::fail(const QString &reason)
{
    m_error = reason;
    return false;
}

void DaemonProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    // The wrapper stops the daemon, which ends its sessions, then exits itself. Killing the
    // wrapper instead would leave the daemon running.
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool DaemonProcess::start(const Configure &configure, const Command &command)
{
    if (!m_dir.isValid())
        return fail(m_dir.errorString());
    if (::geteuid() != 0)
        return fail(command.name +
                    u" must be started as root here: it confines the account to its home with chroot"_s);
    m_ident = u"pexa-test-"_s + QString::number(QRandomGenerator::global()->generate64(), 36);
    if (!writeFile(u"run.sh"_s, wrapper))
        return false;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString &variable : command.environment)
        environment.insert(variable.section(u'=', 0, 0), variable.section(u'=', 1));
    m_process.setProcessEnvironment(environment);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    // Another process may take the free port first; then the daemon cannot listen and we try
    // another.
    for (int attempt = 0; attempt < 5; ++attempt) {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost))
            return fail(probe.errorString());
        const quint16 port = probe.serverPort();
        probe.close();
        if (const QString failed = configure(port); !failed.isEmpty())
            return fail(failed);
        m_process.start(u"/bin/sh"_s,
                        QStringList{filePath(u"run.sh"_s), command.stopSignal, command.program} +
                            command.arguments);
        m_port = port;
        if (waitUntilServing())
            return true;
        stop();
        m_port = 0;
        const QString output = QString::fromLocal8Bit(m_process.readAll());
        m_error = command.name + u" did not start: "_s + output + readFiles(command.logFiles);
        if (!portTaken(output))
            return false;
    }
    return false;
}

bool DaemonProcess::waitUntilServing()
{
    const QByteArray greeting = "220 " + m_ident.toUtf8();
    for (int attempt = 0; attempt < 150; ++attempt) {
        if (m_process.waitForFinished(0) || m_process.state() == QProcess::NotRunning)
            return false;
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, m_port);
        if (socket.waitForConnected(1000) && socket.waitForReadyRead(5000))
            return socket.readLine().startsWith(greeting);
        QThread::msleep(100);
    }
    return false;
}
