// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

inline constexpr uint16_t kAnnouncePort = 30303;
inline constexpr std::size_t kMinAnnounceLength = 32;
// Largest UDP payload plus one, so that a datagram is never cut short unnoticed.
inline constexpr std::size_t kDatagramBufferSize = 65536;

// The three fields of an accepted announce; views into the datagram buffer.
struct CAnnounceFields {
    std::string_view name;
    std::string_view mac;
    std::string_view message;
};

// Accepts text of at least 32 bytes that CR LF cuts into at least three pieces; pieces after the
// third are ignored. Fields are taken as they stand. Returns false for a dropped datagram.
bool SplitAnnounce(std::string_view text, CAnnounceFields* fields);
