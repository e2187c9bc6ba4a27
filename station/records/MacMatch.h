// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <QString>

// A MAC as compared: without ':', '-' and '.', ASCII letters in lower case.
QString MacKey(const QString& mac);

// Whether mac starts with text, ignoring case and the separators ':', '-' and '.'.
// An empty text matches every MAC.
bool MacStartsWith(const QString& mac, const QString& text);
