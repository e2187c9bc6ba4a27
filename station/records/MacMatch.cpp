// SPDX-License-Identifier: Apache-2.0
#include "MacMatch.h"

QString MacKey(const QString& mac) {
    QString key;
    key.reserve(mac.size());
    for (QChar c : mac) {
        if (c == u':' || c == u'-' || c == u'.') continue;
        // ASCII only, so that the same key can be computed by SQL's lower() on either database.
        if (c >= u'A' && c <= u'Z') c = QChar(c.unicode() + (u'a' - u'A'));
        key += c;
    }
    return key;
}

bool MacStartsWith(const QString& mac, const QString& text) {
    return MacKey(mac).startsWith(MacKey(text));
}
