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

int FtpTestServer::logins() const
{
    // The server writes the line before it answers the password, so a client that has logged
    // in is already counted.
    QFile log(m_dir.filePath(u"logins.log"_s));
    return log.open(QIODevice::ReadOnly) ? static_cast<int>(log.readAll().count('\n')) : 0;
}

QString FtpTestServer::home(const QString &user) const
{
    return m_dir.filePath(user);
}

bool FtpTestServer::start(const QList<User> &users)
{
    QJsonArray list;
    for (const User &user : users) {
        QDir().mkpath(home(user.name));
        list.append(QJsonObject{{u"name"_s, user.name},
                                {u"password"_s, user.password},
                                {u"perm"_s, user.permissions},
                                {u"home"_s, home(user.name)}});
    }
    QStringList arguments{QStringLiteral(PEXA_TEST_SCRIPTS_DIR "/ftp_server.py"), u"--users"_s,
                          QString::fromUtf8(QJsonDocument(list).toJson(QJsonDocument::Compact))};
    const Options &o = m_options;
    for (const auto &[option, value] : {std::pair{u"--stall"_s, o.stallName},
                                        {u"--drop"_s, o.dropName},
                                        {u"--refuse"_s, o.refusedPrefix}}) {
        if (!value.isEmpty())
            arguments << option << value;
    }
    if (o.replyDelay > 0)
        arguments << u"--delay"_s << QString::number(o.replyDelay);
    if (o.throttle > 0)
        arguments << u"--throttle"_s << QString::number(o.throttle);
    if (o.noRenameOver)
        arguments << u"--no-rename-over"_s;
    arguments << u"--log"_s << m_dir.filePath(u"logins.log"_s);
    // The Debian interpreter: another python3 first on PATH may lack pyftpdlib.
    m_process.start(u"/usr/bin/python3"_s, arguments);
    while (!m_process.canReadLine() && m_process.waitForReadyRead(15000)) {
    }
    bool ok = false;
    m_port = static_cast<quint16>(m_process.readLine().trimmed().toUInt(&ok));
    if (!ok || m_port == 0) {
        m_error = QString::fromLocal8Bit(m_process.readAllStandardError());
        return false;
    }
    return true;
}
