// SPDX-License-Identifier: Apache-2.0
#include "WebOptions.h"

#include <QFile>

bool ParseHttpListen(const QString& text, CWebOptions& options, QString& error) {
    if (text == QLatin1String("off")) {
        options.enabled = false;
        return true;
    }
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0) {
        error = QStringLiteral("--http wants ADDR:PORT or off, not \"%1\"").arg(text);
        return false;
    }
    QString host = text.left(colon);
    const QString portText = text.mid(colon + 1);
    bool portOk = false;
    const uint port = portText.toUInt(&portOk, 10);
    if (!portOk || port > 65535 || portText.startsWith(QLatin1Char('+'))) {
        error = QStringLiteral("--http: \"%1\" is not a port (0 to 65535)").arg(portText);
        return false;
    }
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    else if (host.contains(QLatin1Char(':'))) {
        error = QStringLiteral("--http: write an IPv6 address in brackets, as [::1]:8080");
        return false;
    }
    QHostAddress address;
    if (host == QLatin1String("localhost"))
        address = QHostAddress(QHostAddress::LocalHost);
    else if (!address.setAddress(host)) {
        error = QStringLiteral("--http: \"%1\" is not an address").arg(host);
        return false;
    }
    options.enabled = true;
    options.address = address;
    options.port = static_cast<quint16>(port);
    return true;
}

bool IsLoopbackAddress(const QHostAddress& address) {
    bool mapped = false;
    const quint32 v4 = address.toIPv4Address(&mapped);
    if (mapped) return (v4 >> 24) == 127;
    return address.isLoopback();
}

bool HttpTokenRequired(const CWebOptions& options) {
    return options.enabled && !IsLoopbackAddress(options.address);
}

bool ReadHttpTokenFile(const QString& path, QByteArray& token, QString& error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("--http-token-file %1: %2").arg(path, file.errorString());
        return false;
    }
    // A token is a line; a longer first line is not one, and is not cut to fit either.
    constexpr qint64 kMaxTokenLine = 4096;
    const QByteArray raw = file.readLine(kMaxTokenLine + 1);
    if (raw.size() >= kMaxTokenLine && !raw.endsWith('\n')) {
        error = QStringLiteral("--http-token-file %1: the first line is too long for a token")
                    .arg(path);
        return false;
    }
    const QByteArray line = raw.trimmed();
    if (line.size() < kMinTokenLength) {
        error = QStringLiteral("--http-token-file %1: the token must be at least %2 characters")
                    .arg(path)
                    .arg(kMinTokenLength);
        return false;
    }
    for (const char c : line) {
        if (c < 0x21 || c > 0x7e) {
            error = QStringLiteral(
                        "--http-token-file %1: the token must be printable ASCII "
                        "without spaces")
                        .arg(path);
            return false;
        }
    }
    token = line;
    return true;
}

bool CheckWebOptions(const CWebOptions& options, QString& error) {
    if (HttpTokenRequired(options) && options.token.isEmpty()) {
        error = QStringLiteral(
                    "--http %1: the page would listen beyond loopback; give "
                    "--http-token-file FILE")
                    .arg(options.address.toString());
        return false;
    }
    return true;
}
