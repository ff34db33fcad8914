#include "ClientTestBench.h"

#include <QRegularExpression>

using namespace Qt::Literals::StringLiterals;

bool ClientTestBench::start()
{
    m_server.setOptions(m_protocol.serverOptions({.stallName = u"stall-here"_s, .dropName = u"drop-here"_s}));
    return m_local.isValid() &&
           m_server.start(
               {{u"pexa"_s, u"p ä:ss"_s}, {u"reader"_s, u"r"_s, u"elr"_s}, {u"stall-here"_s, u"s"_s}});
}

ConnectionOptions ClientTestBench::options(long connectSeconds, long stallSeconds) const
{
    ConnectionOptions options = m_protocol.clientOptions();
    options.connectSeconds = connectSeconds;
    options.stallSeconds = stallSeconds;
    return options;
}

std::unique_ptr<FtpClient> ClientTestBench::client(long connectSeconds, long stallSeconds) const
{
    return m_protocol.makeClient(options(connectSeconds, stallSeconds));
}

bool ClientTestBench::logIn(FtpClient &client, const QString &user, const QString &password)
{
    return logIn(client, m_server, user, password);
}

bool ClientTestBench::logIn(FtpClient &client, const FtpTestServer &server, const QString &user,
                            const QString &password)
{
    return client.open() && client.connect(u"127.0.0.1"_s, server.port(), user, password);
}

bool ClientTestBench::start(FtpTestServer &server, const FtpTestServer::Options &options,
                            const QList<FtpTestServer::User> &users) const
{
    server.setOptions(m_protocol.serverOptions(options));
    return server.start(users);
}

QStringList ClientTestBench::verbsAndArguments(const QStringList &commands)
{
    QStringList result;
    for (const QString &command : commands)
        result << command.section(u' ', 1);
    return result;
}

QStringList ClientTestBench::withPart(const QStringList &commands)
{
    QStringList result = verbsAndArguments(commands);
    result.replaceInStrings(QRegularExpression(u"\\.pexa-\\d+-\\d+\\.part"_s), u"PART"_s);
    return result;
}
