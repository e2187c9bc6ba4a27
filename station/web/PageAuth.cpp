// SPDX-License-Identifier: Apache-2.0
#include "PageAuth.h"

#include <QCryptographicHash>
#include <QHostAddress>
#include <QHttpServerRequest>
#include <QUrlQuery>

bool ConstantTimeEqual(QByteArrayView a, QByteArrayView b) {
    const QByteArray ha = QCryptographicHash::hash(a, QCryptographicHash::Sha256);
    const QByteArray hb = QCryptographicHash::hash(b, QCryptographicHash::Sha256);
    unsigned diff = 0;
    for (qsizetype i = 0; i < ha.size(); ++i) diff |= static_cast<unsigned char>(ha[i] ^ hb[i]);
    return diff == 0;
}

QByteArray SessionCookieValue(const QByteArray& token) {
    return QCryptographicHash::hash("quillon-station page session\n" + token,
                                    QCryptographicHash::Sha256)
        .toHex();
}

namespace {

// Header names are case-insensitive; a header may come more than once.
template <typename F>
void ForEachHeader(const QHttpServerRequest& request, const char* name, F&& f) {
    for (const auto& [key, value] : request.headers())
        if (key.compare(name, Qt::CaseInsensitive) == 0) f(value);
}

}  // namespace

QByteArray RequestHeader(const QHttpServerRequest& request, const char* name) {
    for (const auto& [key, value] : request.headers())
        if (key.compare(name, Qt::CaseInsensitive) == 0) return value;
    return {};
}

bool RequestCarriesToken(const QHttpServerRequest& request, const QByteArray& token,
                         const QByteArray& sessionCookie) {
    if (token.isEmpty()) return true;
    bool ok = false;
    ForEachHeader(request, "Authorization", [&](const QByteArray& value) {
        const QByteArray v = value.trimmed();
        if (v.size() > 7 && v.first(7).compare("Bearer ", Qt::CaseInsensitive) == 0)
            ok = ConstantTimeEqual(v.mid(7).trimmed(), token) || ok;
    });
    // Cookie: a=b; c=d
    ForEachHeader(request, "Cookie", [&](const QByteArray& value) {
        for (const QByteArray& pair : value.split(';')) {
            const qsizetype eq = pair.indexOf('=');
            if (eq < 0 || pair.first(eq).trimmed() != kSessionCookieName) continue;
            ok = ConstantTimeEqual(pair.mid(eq + 1).trimmed(), sessionCookie) || ok;
        }
    });
    return ok;
}

QByteArray FormToken(const QByteArray& body) {
    // '+' stands for a space in a form body; QUrlQuery leaves it alone.
    QByteArray text = body;
    text.replace('+', ' ');
    const QUrlQuery query(QString::fromUtf8(text));
    return query.queryItemValue(QStringLiteral("token"), QUrl::FullyDecoded).toUtf8();
}

bool HostIsAddressLiteral(const QByteArray& host) {
    QByteArray name = host.trimmed().toLower();
    if (name.startsWith('[')) {
        const qsizetype close = name.indexOf(']');
        if (close < 0) return false;
        const QByteArray rest = name.mid(close + 1);
        if (!rest.isEmpty() && !rest.startsWith(':')) return false;
        name = name.mid(1, close - 1);
        return !QHostAddress(QString::fromLatin1(name)).isNull();
    }
    const qsizetype colon = name.indexOf(':');
    if (colon >= 0) name.truncate(colon);
    if (name == "localhost") return true;
    QHostAddress address;
    return address.setAddress(QString::fromLatin1(name)) &&
           address.protocol() == QAbstractSocket::IPv4Protocol;
}
