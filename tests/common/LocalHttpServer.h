#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QTcpServer>

class QTcpSocket;

// A web server on 127.0.0.1 for tests: records the request line of every request exactly as it
// arrives and answers each with the same page.
class LocalHttpServer : public QObject
{
    Q_OBJECT

public:
    explicit LocalHttpServer(QObject *parent = nullptr);

    // Listens on a free port; false when no port could be had.
    bool start();
    // "http://127.0.0.1:<port>", without a trailing slash.
    QString baseAddress() const;
    void setPage(int status, const QByteArray &body,
                 const QByteArray &contentType = "text/html; charset=utf-8");

    // Request lines such as "GET /update.php?sw=PexaResizer HTTP/1.1", in arrival order.
    QList<QByteArray> requestLines;

private:
    void acceptConnections();
    void readRequest(QTcpSocket *socket);

    QTcpServer m_server;
    QHash<QTcpSocket *, QByteArray> m_pending;
    int m_status = 200;
    QByteArray m_body = "<html><body><p>Hello</p></body></html>";
    QByteArray m_contentType = "text/html; charset=utf-8";
};
