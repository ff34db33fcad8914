#pragma once

#include <QPointer>
#include <QTextBrowser>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

// The web windows' page view: requests an address and shows the page that comes back, or the
// reason none came. Links on a shown page open in the same view.
class WebPageView : public QTextBrowser
{
    Q_OBJECT

public:
    explicit WebPageView(QWidget *parent = nullptr);

    // Requests the address as given; its values are not escaped beyond what a request needs.
    void navigate(const QString &address);
    // The address last given to navigate.
    QString requestedAddress() const { return m_requestedAddress; }
    bool isLoading() const { return !m_reply.isNull(); }

signals:
    // The page or the failure text is on show.
    void pageShown();

private:
    void request(const QUrl &url);
    void showReply(QNetworkReply *reply);
    void followLink(const QUrl &link);

    QNetworkAccessManager *m_network = nullptr;
    QPointer<QNetworkReply> m_reply;
    QString m_requestedAddress;
    QUrl m_pageUrl;
};
