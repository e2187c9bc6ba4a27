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
