#pragma once

#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A real FTP server (pyftpdlib) on 127.0.0.1 with a temporary home per user, started by the
// test that needs it and stopped when this object goes.
class FtpTestServer
{
public:
    struct User
    {
        QString name;
        QString password;
        // pyftpdlib's permission letters; the default may do everything.
        QString permissions = QStringLiteral("elradfmwMT");
    };

    FtpTestServer();
    ~FtpTestServer();

    // Commands whose argument ends in this name are never answered.
    void setStallName(const QString &name) { m_stallName = name; }
    // Starts the server with these users; false (with the reason in errorText) when it did not.
    bool start(const QList<User> &users);
    quint16 port() const { return m_port; }
    // The login folder of a user on the local disk.
    QString home(const QString &user) const;
    QString errorText() const { return m_error; }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_stallName;
    QString m_error;
    quint16 m_port = 0;
};
