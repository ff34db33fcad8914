#include "FtpTestServer.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::Literals::StringLiterals;

FtpTestServer::FtpTestServer() = default;

FtpTestServer::~FtpTestServer()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
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
    if (!m_stallName.isEmpty())
        arguments << u"--stall"_s << m_stallName;
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
