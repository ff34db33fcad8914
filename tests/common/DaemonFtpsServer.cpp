#include "DaemonFtpsServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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

// Where an administrator's programs are when PATH leaves them out.
QString proftpdProgram()
{
    const QString onPath = QStandardPaths::findExecutable(u"proftpd"_s);
    return onPath.isEmpty()
               ? QStandardPaths::findExecutable(u"proftpd"_s, {u"/usr/sbin"_s, u"/usr/local/sbin"_s})
               : onPath;
}

// The folder of the daemon's loadable modules, as `proftpd -V` names it.
QString moduleFolder(const QString &program)
{
    QProcess process;
    process.start(program, {u"-V"_s});
    if (!process.waitForFinished(10000))
        return {};
    const QStringList lines = QString::fromLocal8Bit(process.readAllStandardOutput()).split(u'\n');
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        if (lines[i].trimmed() == u"Shared Module Directory:"_s)
            return lines[i + 1].trimmed();
    }
    return {};
}

bool writeFile(const QString &path, const QByteArray &contents, QFileDevice::Permissions permissions)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size() &&
           file.setPermissions(permissions);
}

// Stops the daemon when the test closes its end of our standard input, or ends however it ends;
// exits when the daemon does. (A command put in the background reads /dev/null unless told
// otherwise, hence the copy of standard input.)
const char wrapper[] = R"(program=$1
shift
exec 3<&0
"$program" "$@" </dev/null 3<&- &
pid=$!
(cat <&3 >/dev/null; kill "$pid") >/dev/null 2>&1 &
exec 3<&-
wait "$pid"
)";

} // namespace

DaemonFtpsServer::DaemonFtpsServer() = default;

DaemonFtpsServer::~DaemonFtpsServer()
{
    stop();
}

QString DaemonFtpsServer::missing()
{
    const QString program = proftpdProgram();
    if (program.isEmpty())
        return u"proftpd is not installed (Debian package proftpd-core; scripts/install-deps.sh installs it)"_s;
    const QString modules = moduleFolder(program);
    if (modules.isEmpty() || !QFileInfo::exists(modules + u"/mod_tls.so"_s))
        return u"proftpd's TLS module mod_tls is not installed (Debian package proftpd-mod-crypto; "
               "scripts/install-deps.sh installs it)"_s;
    return {};
}

QString DaemonFtpsServer::logs() const
{
    QString text;
    for (const QString &name : {u"system.log"_s, u"tls.log"_s}) {
        QFile log(m_dir.filePath(name));
        if (log.open(QIODevice::ReadOnly))
            text += name + u":\n"_s + QString::fromLocal8Bit(log.readAll());
    }
    return text;
}

void DaemonFtpsServer::stop()
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

bool DaemonFtpsServer::writeConfiguration(const Options &options, quint16 port)
{
    const passwd *nobody = ::getpwnam("nobody");
    const group *nobodysGroup = nobody ? ::getgrgid(nobody->pw_gid) : nullptr;
    if (!nobody || !nobodysGroup) {
        m_error = u"there is no user \"nobody\" with a group to serve the account as"_s;
        return false;
    }
    const QByteArray uid = QByteArray::number(nobody->pw_uid);
    const QByteArray gid = QByteArray::number(nobody->pw_gid);

    // The home belongs to the account; the folders above it may only be passed through.
    if (!QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                 QFileDevice::ExeOwner | QFileDevice::ExeGroup |
                                                 QFileDevice::ExeOther) ||
        !QDir().mkpath(home()) ||
        ::chown(QFile::encodeName(home()).constData(), nobody->pw_uid, nobody->pw_gid) != 0) {
        m_error = u"cannot make the home "_s + home();
        return false;
    }

    QProcess openssl;
    openssl.start(u"openssl"_s, {u"passwd"_s, u"-6"_s, u"-stdin"_s});
    openssl.write(password().toUtf8() + '\n');
    openssl.closeWriteChannel();
    const bool hashed = openssl.waitForFinished(10000) && openssl.exitCode() == 0;
    const QByteArray hash = openssl.readAllStandardOutput().trimmed();
    if (!hashed || hash.isEmpty()) {
        m_error = u"openssl passwd failed: "_s + QString::fromLocal8Bit(openssl.readAllStandardError());
        return false;
    }
    const QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    const QByteArray group = nobodysGroup->gr_name;
    if (!writeFile(m_dir.filePath(u"passwd"_s),
                   userName().toUtf8() + ':' + hash + ':' + uid + ':' + gid +
                       "::" + QFile::encodeName(home()) + ":/bin/false\n",
                   ownerOnly) ||
        !writeFile(m_dir.filePath(u"group"_s), group + ":x:" + gid + ":\n", ownerOnly)) {
        m_error = u"cannot write the account to "_s + m_dir.path();
        return false;
    }

    // Files of the daemon's own in the temporary folder, in place of the system's; TLS as mod_tls
    // has it unless told otherwise, which requires a data connection to reuse the control
    // connection's TLS session.
    const QString configuration = uR"(ServerName "Pexa test daemon"
ServerIdent on "%1"
ServerType standalone
DefaultServer on
DefaultAddress 127.0.0.1
SocketBindTight on
UseIPv6 off
UseReverseDNS off
Port %2
User nobody
Group %3
PidFile "%4/proftpd.pid"
ScoreboardFile "%4/proftpd.scoreboard"
DelayTable none
WtmpLog off
TransferLog none
SystemLog "%4/system.log"
ControlsEngine off
ControlsSocket "%4/controls.sock"
AuthOrder mod_auth_file.c
AuthUserFile "%4/passwd"
AuthGroupFile "%4/group"
RequireValidShell off
DefaultRoot ~
Umask 022
AllowOverwrite %5
ModulePath "%6"
LoadModule mod_tls.c
TLSEngine on
TLSLog "%4/tls.log"
TLSRequired on
TLSVerifyClient off
TLSECCertificateFile "%7"
TLSECCertificateKeyFile "%8"
)"_s.arg(m_ident, QString::number(port), QString::fromLocal8Bit(group), m_dir.path(),
         options.allowOverwrite ? u"on"_s : u"off"_s, moduleFolder(proftpdProgram()), options.certificate,
         options.key);
    if (!writeFile(m_dir.filePath(u"proftpd.conf"_s), configuration.toUtf8(), ownerOnly) ||
        !writeFile(m_dir.filePath(u"run.sh"_s), wrapper, ownerOnly)) {
        m_error = u"cannot write the configuration to "_s + m_dir.path();
        return false;
    }
    return true;
}

bool DaemonFtpsServer::start(const Options &options)
{
    if (!m_dir.isValid()) {
        m_error = m_dir.errorString();
        return false;
    }
    if (const QString absent = missing(); !absent.isEmpty()) {
        m_error = absent;
        return false;
    }
    m_ident = u"pexa-test-"_s + QString::number(QRandomGenerator::global()->generate64(), 36);
    if (::geteuid() != 0) {
        m_error = u"proftpd must be started as root here: it confines the account to its home with chroot"_s;
        return false;
    }
    // A port that was free a moment ago; another process may take it first, then the daemon
    // cannot listen and we try another.
    for (int attempt = 0; attempt < 5; ++attempt) {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost)) {
            m_error = probe.errorString();
            return false;
        }
        const quint16 port = probe.serverPort();
        probe.close();
        if (!writeConfiguration(options, port))
            return false;
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(u"/bin/sh"_s, {m_dir.filePath(u"run.sh"_s), proftpdProgram(), u"-n"_s, u"-c"_s,
                                       m_dir.filePath(u"proftpd.conf"_s)});
        m_port = port;
        if (waitUntilServing())
            return true;
        stop();
        m_port = 0;
        const QString output = QString::fromLocal8Bit(m_process.readAll());
        m_error = u"proftpd did not start: "_s + output + logs();
        if (!output.contains(u"Address already in use"_s))
            return false;
    }
    return false;
}

bool DaemonFtpsServer::waitUntilServing()
{
    // Its greeting names this start: another server that took the port first is not it.
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
