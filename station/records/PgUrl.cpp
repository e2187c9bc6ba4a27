// SPDX-License-Identifier: Apache-2.0
#include "PgUrl.h"

#include <QUrl>
#include <QUrlQuery>

namespace {

bool IsOptionKey(const QString& key) {
    if (key.isEmpty()) return false;
    for (QChar c : key) {
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != u'_') return false;
    }
    return true;
}

bool ParsePort(const QString& text, int& port) {
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < 1 || value > 65535) return false;
    port = value;
    return true;
}

QString Decoded(const QString& text) {
    return QUrl::fromPercentEncoding(text.toUtf8());
}

}  // namespace

bool ParsePgUrl(const QString& url, CPgSettings& settings, QString& error) {
    settings = CPgSettings{};
    // Parsed by hand rather than by QUrl: a socket folder may stand percent-encoded in the host
    // place, which no web URL allows.
    QString rest;
    for (const QString& scheme : {QStringLiteral("postgresql://"), QStringLiteral("postgres://")}) {
        if (url.startsWith(scheme)) rest = url.mid(scheme.size());
    }
    const qsizetype slash = rest.indexOf(u'/');
    if (rest.isEmpty() || slash < 0) {
        error = QStringLiteral("not a postgresql://[user[:password]@][host][:port]/database URL: %1").arg(url);
        return false;
    }
    QString authority = rest.left(slash);
    QString path = rest.mid(slash + 1);
    QString queryText;
    if (const qsizetype mark = path.indexOf(u'?'); mark >= 0) {
        queryText = path.mid(mark + 1);
        path.truncate(mark);
    }
    if (const qsizetype at = authority.lastIndexOf(u'@'); at >= 0) {
        const QString userInfo = authority.left(at);
        authority = authority.mid(at + 1);
        const qsizetype colon = userInfo.indexOf(u':');
        settings.user = Decoded(userInfo.left(colon));
        if (colon >= 0) settings.password = Decoded(userInfo.mid(colon + 1));
    }
    const qsizetype bracket = authority.lastIndexOf(u']');
    const qsizetype colon = authority.lastIndexOf(u':');
    if (colon > bracket) {
        if (!ParsePort(authority.mid(colon + 1), settings.port)) {
            error = QStringLiteral("bad port in the URL: %1").arg(url);
            return false;
        }
        authority.truncate(colon);
    }
    if (authority.startsWith(u'[') && authority.endsWith(u']')) authority = authority.mid(1, authority.size() - 2);
    settings.host = Decoded(authority);
    settings.database = Decoded(path);
    if (settings.database.isEmpty()) {
        error = QStringLiteral("the URL names no database: %1").arg(url);
        return false;
    }
    QStringList options;
    const QUrlQuery query(queryText);
    for (const auto& [key, value] : query.queryItems(QUrl::FullyDecoded)) {
        if (key == QStringLiteral("host")) {
            settings.host = value;
        } else if (key == QStringLiteral("port")) {
            if (!ParsePort(value, settings.port)) {
                error = QStringLiteral("bad port in the URL: %1").arg(value);
                return false;
            }
        } else if (key == QStringLiteral("user")) {
            settings.user = value;
        } else if (key == QStringLiteral("password")) {
            settings.password = value;
        } else if (key == QStringLiteral("dbname")) {
            settings.database = value;
        } else if (IsOptionKey(key) && !value.contains(u';') && !value.contains(u'=') &&
                   !value.contains(u' ')) {
            options << key + u'=' + value;
        } else {
            error = QStringLiteral("bad URL parameter: %1").arg(key);
            return false;
        }
    }
    // A server that does not answer must not hold the station for long.
    if (!query.hasQueryItem(QStringLiteral("connect_timeout"))) {
        options << QStringLiteral("connect_timeout=5");
    }
    settings.options = options.join(u';');
    return true;
}
