// SPDX-License-Identifier: Apache-2.0
#include "qt/DisplayString.h"

#include "core/DisplayText.h"

QString ToDisplayString(std::string_view bytes) {
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    for (const char byte : bytes) {
        // Every code point used is in the Basic Multilingual Plane.
        text.append(
            QChar(static_cast<char16_t>(DisplayCodePoint(static_cast<unsigned char>(byte)))));
    }
    return text;
}
