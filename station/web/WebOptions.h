// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <QByteArray>
#include <QHostAddress>
#include <QString>

// Where the live page listens and what it asks of a client: --http ADDR:PORT (or "off") and
// --http-token-file FILE.
struct CWebOptions {
    bool enabled = true;
    QHostAddress address = QHostAddress(QHostAddress::LocalHost);
    quint16 port = 8080;  // 0: any free port (tests)
    QByteArray token;     // empty: no token asked
};

// Reads "off", "ADDR:PORT", "[IPV6]:PORT" or "localhost:PORT" into options (enabled, address,
// port); the token is left alone. Only address literals: a name would be looked up on the line.
bool ParseHttpListen(const QString& text, CWebOptions& options, QString& error);

// 127.0.0.0/8 and ::1 (also as ::ffff:127.x.y.z). Anything else, 0.0.0.0 and :: included, reaches
// beyond this host.
bool IsLoopbackAddress(const QHostAddress& address);

// Whether these options need a token: the page is on, at an address beyond loopback.
bool HttpTokenRequired(const CWebOptions& options);

// Reads the token: the file's first line without surrounding white space, at least
// kMinTokenLength characters, printable ASCII. A token that can't be read is an error.
constexpr int kMinTokenLength = 16;
bool ReadHttpTokenFile(const QString& path, QByteArray& token, QString& error);

// What the station checks before listening: false with a message for the user when the page
// would listen beyond loopback without a token.
bool CheckWebOptions(const CWebOptions& options, QString& error);
