// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <string_view>

enum class EMacMatch { kContains, kStartsWith };

// Whether the MAC holds the pattern (anywhere, or from its first character), comparing letters
// without regard to ASCII case and passing over the separators ':', '-' and '.' on both sides:
// "00:04:a3" and "0004A3" both find "00-04-A3-12-34-56". A pattern of separators only holds no
// character, so every MAC holds it. Allocates nothing.
bool MacMatches(std::string_view mac, std::string_view pattern, EMacMatch how);
