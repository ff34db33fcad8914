#include "LocalHttpServer.h"

#include <QTcpSocket>

using namespace Qt::Literals::StringLiterals;

LocalHttpServer::LocalHttpServer(QObject *parent) : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &LocalHttpServer::acceptConnections);
}

bool LocalHttpServer::start()
{
    return m_server.listen(QHostAddress::LocalHost, 0);
}

QString LocalHttpServer::baseAddress() const
{
    return u"http://127.0.0.1:%1"_s.arg(m_server.serverPort());
}

void LocalHttpServer::setPage(int status, const QByteArray &body, const QByteArray &contentType)
{
    m_status = status;
    m_body = body;
    m_contentType = contentType;
}

void LocalHttpServer::acceptConnections()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readRequest(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_pending.remove(socket);
            socket->deleteLater();
        });
    }
}

void LocalHttpServer::readRequest(QTcpSocket *socket)
{
    QByteArray &received = m_pending[socket];
    received += socket->readAll();
    // The requests under test carry no body: the header's end is the request's end.
    const qsizetype headerEnd = received.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        return;
    requestLines.append(received.left(received.indexOf("\r\n")));
    received.clear();
    const QByteArray reason = m_status == 200 ? "OK" : "Error";
    socket->write("HTTP/1.1 " + QByteArray::number(m_status) + ' ' + reason + "\r\nContent-Type: " +
                  m_contentType + "\r\nContent-Length: " + QByteArray::number(m_body.size()) +
                  "\r\nConnection: close\r\n\r\n" + m_body);
    socket->disconnectFromHost();
}
