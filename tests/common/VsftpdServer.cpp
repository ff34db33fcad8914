#include "VsftpdServer.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

using namespace Qt::Literals::StringLiterals;

namespace {

// Run by unshare as the first process of new mount and process namespaces: the daemon sees the
// account's passwd, shadow and group files and the PAM service of its own folder in place of the
// system's, and when this shell dies, the daemon and every session die with it. The shell stays
// first, to take in the processes sessions leave behind: vsftpd in its place took them in as
// children it did not know and died after a few dozen connections.
const char inNamespace[] = R"(dir=$1
for name in passwd shadow group pam.d; do
    mount --bind "$dir/$name" "/etc/$name" || exit 1
done
"$2" "$dir/vsftpd.conf" &
wait
)";

} // namespace

QString VsftpdServer::missing()
{
    if (DaemonProcess::findProgram(u"vsftpd"_s).isEmpty())
        return u"vsftpd is not installed (scripts/install-deps.sh unpacks it into /usr/local/sbin: its "
               u"Debian "
               "package conflicts with proftpd-core)"_s;
    if (QStandardPaths::findExecutable(u"unshare"_s).isEmpty())
        return u"unshare is not installed (Debian package util-linux)"_s;
    return {};
}

QString VsftpdServer::logs() const
{
    return m_daemon.readFiles({u"vsftpd.log"_s});
}

QString VsftpdServer::writeConfiguration(const Options &options, quint16 port)
{
    DaemonProcess::Account account;
    if (!m_daemon.makeAccount(password(), &account))
        return m_daemon.errorText();
    const QByteArray ids = QByteArray::number(account.uid) + ':' + QByteArray::number(account.gid);
    // The daemon's unprivileged processes run in the empty folder; the package's own is not
    // there when vsftpd was unpacked rather than installed.
    if (!QDir(m_daemon.path()).mkpath(u"pam.d"_s) || !QDir(m_daemon.path()).mkpath(u"empty"_s))
        return u"cannot make folders in "_s + m_daemon.path();
    if (!m_daemon.writeFile(u"passwd"_s, "root:x:0:0::/root:/bin/sh\nnobody:x:" + ids +
                                             "::/nonexistent:/usr/sbin/nologin\n" + userName().toUtf8() +
                                             ":x:" + ids + "::" + QFile::encodeName(home()) +
                                             ":/bin/false\n") ||
        !m_daemon.writeFile(u"shadow"_s, userName().toUtf8() + ':' + account.passwordHash + ":1::::::\n") ||
        !m_daemon.writeFile(u"group"_s, "root:x:0:\n" + account.groupName +
                                            ":x:" + QByteArray::number(account.gid) + ":\n") ||
        !m_daemon.writeFile(u"pam.d/vsftpd"_s, "auth required pam_unix.so\naccount required pam_unix.so\n"
                                               "session required pam_permit.so\n"))
        return m_daemon.errorText();

    const auto yesNo = [](bool on) { return on ? u"YES"_s : u"NO"_s; };
    // The home is the account's own and writable, as an upload needs it to be.
    const QString configuration = uR"(listen=YES
listen_ipv6=NO
listen_address=127.0.0.1
listen_port=%1
background=NO
ftpd_banner=%2
anonymous_enable=NO
local_enable=YES
pam_service_name=vsftpd
chroot_local_user=YES
allow_writeable_chroot=YES
write_enable=YES
local_umask=022
use_localtime=%3
mdtm_write=%4
secure_chroot_dir=%5/empty
xferlog_enable=YES
log_ftp_protocol=YES
vsftpd_log_file=%5/vsftpd.log
)"_s.arg(QString::number(port), m_daemon.ident(), yesNo(options.useLocalTime), yesNo(options.mdtmWrite),
         m_daemon.path());
    return m_daemon.writeFile(u"vsftpd.conf"_s, configuration.toUtf8()) ? QString() : m_daemon.errorText();
}

bool VsftpdServer::start(const Options &options)
{
    if (const QString absent = missing(); !absent.isEmpty())
        return m_daemon.fail(absent);
    DaemonProcess::Command command{
        .name = u"vsftpd"_s,
        .program = QStandardPaths::findExecutable(u"unshare"_s),
        .arguments = {u"--mount"_s, u"--propagation"_s, u"private"_s, u"--pid"_s, u"--fork"_s,
                      u"--kill-child"_s, u"/bin/sh"_s, u"-c"_s, QString::fromLatin1(inNamespace), u"sh"_s,
                      m_daemon.path(), DaemonProcess::findProgram(u"vsftpd"_s)},
        // unshare ignores TERM while it waits, and the first process of a namespace takes no
        // signal it has no handler for; a killed unshare kills it (--kill-child).
        .stopSignal = u"KILL"_s,
        .logFiles = {u"vsftpd.log"_s}};
    if (!options.timeZone.isEmpty())
        command.environment.append(u"TZ="_s + options.timeZone);
    return m_daemon.start([&](quint16 port) { return writeConfiguration(options, port); }, command);
}
