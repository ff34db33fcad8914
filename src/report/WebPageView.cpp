#include "WebPageView.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStringDecoder>

using namespace Qt::Literals::StringLiterals;

namespace {
// A site that stops answering leaves a message in the window instead of an empty page.
constexpr int TransferTimeoutMs = 30000;

QString decodedPage(const QByteArray &body, const QByteArray &contentType)
{
    const qsizetype charsetAt = contentType.toLower().indexOf("charset=");
    if (charsetAt >= 0) {
        QByteArray charset = contentType.mid(charsetAt + 8).split(';').first().trimmed();
        charset.replace('"', QByteArray());
        QStringDecoder decoder(charset.constData());
        if (decoder.isValid())
            return decoder.decode(body);
    }
    QStringDecoder decoder = QStringDecoder::decoderForHtml(body);
    return decoder.isValid() ? QString(decoder.decode(body)) : QString::fromUtf8(body);
}
} // namespace

WebPageView::WebPageView(QWidget *parent) : QTextBrowser(parent), m_network(new QNetworkAccessManager(this))
{
    setOpenLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, &WebPageView::followLink);
}

void WebPageView::navigate(const QString &address)
{
    m_requestedAddress = address;
    // Tolerant parsing keeps the address as written; only what cannot go on the wire as it is
    // (blanks, double quotes, letters outside ASCII) is percent-encoded in the request.
    const QUrl url(address, QUrl::TolerantMode);
    if (!url.isValid() || url.scheme().isEmpty()) {
        setPlainText(u"The address cannot be opened: "_s + address);
        emit pageShown();
        return;
    }
    request(url);
}

void WebPageView::request(const QUrl &url)
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
    }
    m_pageUrl = url;
    setPlainText(u"Opening "_s + url.toString() + u" ..."_s);
    QNetworkRequest request(url);
    request.setTransferTimeout(TransferTimeoutMs);
    m_reply = m_network->get(request);
    QNetworkReply *reply = m_reply;
    connect(reply, &QNetworkReply::finished, this, [this, reply] { showReply(reply); });
}

void WebPageView::showReply(QNetworkReply *reply)
{
    reply->deleteLater();
    m_reply = nullptr;
    m_pageUrl = reply->url();
    const QByteArray body = reply->readAll();
    // A site's own error page (404, 500) is shown like any other page; only when nothing came
    // back is the failure itself the message.
    if (body.isEmpty() && reply->error() != QNetworkReply::NoError) {
        setPlainText(reply->errorString());
    } else {
        const QByteArray contentType = reply->rawHeader("Content-Type");
        const QString page = decodedPage(body, contentType);
        if (contentType.toLower().startsWith("text/plain"))
            setPlainText(page);
        else
            setHtml(page);
    }
    emit pageShown();
}

void WebPageView::followLink(const QUrl &link)
{
    const QUrl target = m_pageUrl.resolved(link);
    m_requestedAddress = target.toString();
    request(target);
}
