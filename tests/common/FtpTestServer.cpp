#include "FtpTestServer.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::Literals::StringLiterals;

FtpTestServer::FtpTestServer() = default;

FtpTestServer::~FtpTestServer()
{
    kill();
}

void FtpTestServer::kill()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

int FtpTestServer::logLines(const QByteArray &start) const
{
    // The server writes its line before it answers, so what a client has been told is counted.
    QFile log(m_dir.filePath(u"server.log"_s));
    if (!log.open(QIODevice::ReadOnly))
        return 0;
    int count = 0;
    while (!log.atEnd()) {
        if (log.readLine().startsWith(start))
            ++count;
    }
    return count;
}

QStringList FtpTestServer::commands() const
{
    QFile log(m_dir.filePath(u"commands.log"_s));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    QStringList lines;
    while (!log.atEnd()) {
        const QByteArray line = log.readLine();
        // A line the server is still writing is not there yet.
        if (!line.endsWith('\n'))
            break;
        lines.append(QString::fromUtf8(line.chopped(1)));
    }
    return lines;
}

int FtpTestServer::logins() const
{
    return logLines("login ");
}

int FtpTestServer::passwordsReceived() const
{
    return logLines("password\n");
}

QString FtpTestServer::home(const QString &user) const
{
    return m_dir.filePath(user);
}

bool FtpTestServer::restart()
{
    m_options.port = m_port;
    return start(m_users);
}

bool FtpTestServer::start(const QList<User> &users)
{
    m_users = users;
    QJsonArray list;
    for (const User &user : users) {
        QDir().mkpath(home(user.name));
        list.append(QJsonObject{{u"name"_s, user.name},
                                {u"password"_s, user.password},
                                {u"perm"_s, user.permissions},
                                {u"home"_s, home(user.name)}});
    }
    const Options &o = m_options;
    const bool sftp = o.protocol == Protocol::Sftp;
    QStringList arguments{sftp ? QStringLiteral(PEXA_TEST_SCRIPTS_DIR "/sftp_server.py")
                               : QStringLiteral(PEXA_TEST_SCRIPTS_DIR "/ftp_server.py"),
                          u"--users"_s,
                          QString::fromUtf8(QJsonDocument(list).toJson(QJsonDocument::Compact))};
    if (o.port != 0)
        arguments << u"--port"_s << QString::number(o.port);
    if (o.protocol == Protocol::Ftps)
        arguments << u"--tls-cert"_s << o.tlsCertificate << u"--tls-key"_s << o.tlsKey;
    if (sftp)
        arguments << u"--host-key"_s << o.hostKey;
    if (sftp && !o.secondHostKey.isEmpty())
        arguments << u"--host-key"_s << o.secondHostKey;
    if (sftp && o.keyboardInteractiveOnly)
        arguments << u"--auth"_s << u"keyboard-interactive"_s;
    for (const auto &[option, value] : {std::pair{u"--stall"_s, o.stallName},
                                        {u"--drop"_s, o.dropName},
                                        {u"--refuse"_s, o.refusedPrefix}}) {
        if (!value.isEmpty())
            arguments << option << value;
    }
    if (sftp && !o.refusedWritesPrefix.isEmpty())
        arguments << u"--refuse-writes"_s << o.refusedWritesPrefix;
    if (sftp && !o.refusedClosePrefix.isEmpty())
        arguments << u"--refuse-close"_s << o.refusedClosePrefix;
    if (o.replyDelay > 0)
        arguments << u"--delay"_s << QString::number(o.replyDelay);
    if (o.throttle > 0)
        arguments << u"--throttle"_s << QString::number(o.throttle);
    if (o.noRenameOver && !sftp)
        arguments << u"--no-rename-over"_s;
    if (o.latencyMs > 0)
        arguments << u"--latency"_s << QString::number(o.latencyMs);
    if (o.logCommands)
        arguments << u"--commands"_s << m_dir.filePath(u"commands.log"_s);
    if (o.noMlsd && !sftp)
        arguments << u"--no-mlsd"_s;
    if (o.bareListing)
        arguments << u"--bare-listing"_s;
    if (o.maxLogins > 0)
        arguments << u"--max-logins"_s << QString::number(o.maxLogins) << u"--refuse-login-with"_s
                  << o.refuseLoginWith;
    if (o.silentData)
        arguments << (sftp ? u"--silent-open"_s : u"--silent-data"_s);
    if (o.answerClosedData && !sftp)
        arguments << u"--answer-closed-data"_s;
    arguments << u"--log"_s << m_dir.filePath(u"server.log"_s);
    // A file rather than a pipe that nobody reads while the test runs: a server that has
    // written much would block.
    m_process.setStandardErrorFile(m_dir.filePath(u"server.err"_s));
    // The Debian interpreter: another python3 first on PATH may lack pyftpdlib and paramiko.
    m_process.start(u"/usr/bin/python3"_s, arguments);
    while (!m_process.canReadLine() && m_process.waitForReadyRead(15000)) {
    }
    bool ok = false;
    m_port = static_cast<quint16>(m_process.readLine().trimmed().toUInt(&ok));
    if (!ok || m_port == 0) {
        QFile errors(m_dir.filePath(u"server.err"_s));
        if (errors.open(QIODevice::ReadOnly))
            m_error = QString::fromLocal8Bit(errors.readAll()).trimmed();
        if (m_error.isEmpty())
            m_error = m_process.errorString();
        return false;
    }
    return true;
}
