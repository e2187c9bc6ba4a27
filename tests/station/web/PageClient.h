// SPDX-License-Identifier: Apache-2.0
#pragma once
// A blocking HTTP client for tests of the station's page: one request, waited for with a bound,
// on the test's own event loop (the server runs on the same thread).
#include <QByteArray>
#include <QList>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPair>
#include <QTest>
#include <QUrl>

struct CPageAnswer {
    int status = 0;  // 0: no answer within the bound
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;

    QByteArray Header(const QByteArray& name) const {
        for (const auto& [key, value] : headers)
            if (key.compare(name, Qt::CaseInsensitive) == 0) return value;
        return {};
    }
};

class CPageClient {
  public:
    explicit CPageClient(QString host = QStringLiteral("127.0.0.1")) : m_host(std::move(host)) {
        // Never a proxy: the request must reach the loopback server itself.
        m_manager.setProxy(QNetworkProxy::NoProxy);
        m_manager.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    }

    // method: GET, HEAD, POST or any other verb; target: path and query.
    CPageAnswer Send(quint16 port, const QByteArray& method, const QString& target,
                     const QList<QPair<QByteArray, QByteArray>>& headers = {},
                     const QByteArray& body = {}) {
        QNetworkRequest request(
            QUrl(QStringLiteral("http://%1:%2%3").arg(m_host).arg(port).arg(target)));
        for (const auto& [name, value] : headers) request.setRawHeader(name, value);
        // Cookies only as the test sets them.
        request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
        request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
        QNetworkReply* reply = method == "HEAD"
                                   ? m_manager.head(request)
                                   : m_manager.sendCustomRequest(request, method, body);
        CPageAnswer answer;
        if (!QTest::qWaitFor([&] { return reply->isFinished(); }, 10000)) {
            reply->abort();
        } else {
            answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            answer.body = reply->readAll();
            answer.headers = reply->rawHeaderPairs();
        }
        reply->deleteLater();
        return answer;
    }
    CPageAnswer Get(quint16 port, const QString& target,
                    const QList<QPair<QByteArray, QByteArray>>& headers = {}) {
        return Send(port, "GET", target, headers);
    }

  private:
    QString m_host;
    QNetworkAccessManager m_manager;
};
