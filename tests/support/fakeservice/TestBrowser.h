#pragma once
// Plays the user's browser in the Discord sign-in tests: it takes the address
// the client would have opened and follows the redirects (provider, web site's
// callback page, the client's loopback listener) with a manager of its own.

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

class TestBrowser
{
public:
    // Starts the visit; `finished()` tells when the last page has arrived.
    void open(const QUrl &url)
    {
        QNetworkRequest request(url);
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                             QNetworkRequest::NoLessSafeRedirectPolicy);
        m_reply = m_manager.get(request);
        QObject::connect(m_reply, &QNetworkReply::finished, m_reply, [this] {
            m_body = m_reply->readAll();
            m_finalUrl = m_reply->url();
            m_done = true;
        });
    }
    bool finished() const { return m_done; }
    QByteArray body() const { return m_body; }
    QUrl finalUrl() const { return m_finalUrl; }

private:
    QNetworkAccessManager m_manager;
    QNetworkReply *m_reply = nullptr;
    QByteArray m_body;
    QUrl m_finalUrl;
    bool m_done = false;
};
