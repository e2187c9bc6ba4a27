// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QString>
#include <string_view>

// Single-byte announce text as the list shows it: one visible character per byte.
QString ToDisplayString(std::string_view bytes);
