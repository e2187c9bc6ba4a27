// SPDX-License-Identifier: Apache-2.0
// pellisk-watch allocates nothing per announce once its list is full: neither for a known unit
// nor for a flood of new MACs, whose rows take the slots (and the room) of the rows they evict.
// Every heap allocation made inside Arrive is counted.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "RecordingLayer.h"
#include "watch/Watcher.h"

namespace {
bool g_counting = false;
long g_allocations = 0;
}  // namespace

// GCC sees the replaced pair as mismatched when it inlines a caller's new and delete.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size) {
    if (g_counting) ++g_allocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

// Names and messages too long for a string's inner buffer, so that a copy would show.
std::string AnnounceOf(int unit) {
    char text[160];
    const int length = std::snprintf(
        text, sizeof text, "Flooding unit number %06d\r\n02-00-00-%02X-%02X-%02X\r\n%s", unit,
        (unit >> 16) & 0xFF, (unit >> 8) & 0xFF, unit & 0xFF,
        "a message well beyond any small-string buffer");
    return std::string(text, static_cast<std::size_t>(length));
}

TEST(WatchAllocation, FullListTakesKnownUnitsAndAFloodOfNewMacsWithoutAllocating) {
    CRecordingSocket socket;
    std::size_t printed = 0;
    CWatchOptions options;
    options.port = 0;
    options.mac = "02:00";
    CWatcher watcher(
        options, socket, [&](std::string_view line) { printed += line.size(); },
        [](std::string_view) {});
    std::string error;
    ASSERT_TRUE(watcher.Start(&error)) << error;
    int next = 0;
    // A full list, and as many again, so that every slot has been reused once.
    for (; next < 2 * kMaxDeviceRows; ++next) {
        socket.Queue(AnnounceOf(next));
        watcher.Arrive();
    }
    ASSERT_EQ(watcher.Rows().Count(), kMaxDeviceRows);

    for (const bool flood : {false, true}) {
        for (int i = 0; i < 3000; ++i) {
            socket.Queue(AnnounceOf(flood ? next++ : next - 1 - i % kMaxDeviceRows));
            const std::size_t before = printed;
            g_counting = true;
            watcher.Arrive();
            g_counting = false;
            ASSERT_EQ(g_allocations, 0) << (flood ? "new MAC " : "known unit ") << i;
            ASSERT_EQ(printed > before, flood) << "a new MAC is a - and a + line, a known unit none";
        }
    }
    EXPECT_EQ(watcher.Rows().Count(), kMaxDeviceRows);
}

}  // namespace
