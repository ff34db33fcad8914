#include "DaemonFtpsServer.h"

#include <QFileInfo>
#include <QProcess>

using namespace Qt::Literals::StringLiterals;

namespace {

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

const QStringList logFiles{u"system.log"_s, u"tls.log"_s};

} // namespace

DaemonFtpsServer::DaemonFtpsServer() = default;

DaemonFtpsServer::~DaemonFtpsServer() = default;

QString DaemonFtpsServer::missing()
{
    const QString program = DaemonProcess::findProgram(u"proftpd"_s);
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
    return m_daemon.readFiles(logFiles);
}

void DaemonFtpsServer::stop()
{
    m_daemon.stop();
}

QString DaemonFtpsServer::writeConfiguration(const Options &options, quint16 port)
{
    DaemonProcess::Account account;
    if (!m_daemon.makeAccount(password(), &account))
        return m_daemon.errorText();
    const QByteArray uid = QByteArray::number(account.uid);
    const QByteArray gid = QByteArray::number(account.gid);
    if (!m_daemon.writeFile(u"passwd"_s, userName().toUtf8() + ':' + account.passwordHash + ':' + uid + ':' +
                                             gid + "::" + QFile::encodeName(home()) + ":/bin/false\n") ||
        !m_daemon.writeFile(u"group"_s, account.groupName + ":x:" + gid + ":\n"))
        return m_daemon.errorText();

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
)"_s.arg(m_daemon.ident(), QString::number(port), QString::fromLocal8Bit(account.groupName), m_daemon.path(),
         options.allowOverwrite ? u"on"_s : u"off"_s, moduleFolder(DaemonProcess::findProgram(u"proftpd"_s)),
         options.certificate, options.key);
    return m_daemon.writeFile(u"proftpd.conf"_s, configuration.toUtf8()) ? QString() : m_daemon.errorText();
}

bool DaemonFtpsServer::start(const Options &options)
{
    if (const QString absent = missing(); !absent.isEmpty())
        return m_daemon.fail(absent);
    return m_daemon.start([&](quint16 port) { return writeConfiguration(options, port); },
                          {.name = u"proftpd"_s,
                           .program = DaemonProcess::findProgram(u"proftpd"_s),
                           .arguments = {u"-n"_s, u"-c"_s, m_daemon.filePath(u"proftpd.conf"_s)},
                           .logFiles = logFiles});
}
