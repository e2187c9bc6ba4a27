// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <QByteArray>
#include <QByteArrayView>

class QHttpServerRequest;

// The page's token check. A request is let in by "Authorization: Bearer TOKEN" or by the cookie
// that the sign-in form sets, whose value is derived from the token so that a browser never
// stores the token itself.

// Equal contents, in a time that depends on neither where they differ nor their lengths: both
// sides are hashed first and the digests compared without an early exit.
bool ConstantTimeEqual(QByteArrayView a, QByteArrayView b);

// The cookie's value for this token (hex), and the cookie's name.
QByteArray SessionCookieValue(const QByteArray& token);
inline constexpr char kSessionCookieName[] = "quillon_session";

// Whether the request carries the token (header) or the session cookie. An empty token lets
// everything in.
bool RequestCarriesToken(const QHttpServerRequest& request, const QByteArray& token,
                         const QByteArray& sessionCookie);

// The token typed into the sign-in form: the field "token" of an
// application/x-www-form-urlencoded body.
QByteArray FormToken(const QByteArray& body);

// The first value of a header, its name in any case; empty when absent.
QByteArray RequestHeader(const QHttpServerRequest& request, const char* name);

// Whether a Host header names this host by address ("127.0.0.1:8080", "[::1]:8080",
// "localhost"). Without a token the page answers only such requests: a page elsewhere whose
// name was made to resolve to 127.0.0.1 (DNS rebinding) would send its own name.
bool HostIsAddressLiteral(const QByteArray& host);
