// SPDX-License-Identifier: Apache-2.0
// Which files Load takes, and whether the open one is still the file it counted.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "HexFile.h"
#include "HexTestSupport.h"

namespace {
const std::string kRecords = ":0400100001020304E2\n:00000001FF\n";

// Loads on another thread so that an open that waits for a FIFO's writer, or a count that
// never ends, stops the test program instead of hanging it.
bool LoadWithin(SLoadedHex& file, const std::string& path) {
    std::atomic<bool> done{false};
    bool loaded = false;
    std::thread loader([&] {
        loaded = file.Load(path);
        done = true;
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (!done) {
        std::fprintf(stderr, "Load of %s did not return within 10 s\n", path.c_str());
        std::_Exit(1);
    }
    loader.join();
    return loaded;
}
}  // namespace

TEST(HexFileSource, OnlyARegularFileIsOpened) {
    CTempDir dir;
    const std::string fifo = dir.PathOf("fifo.hex");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string socketPath = dir.PathOf("socket.hex");
    const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    SLoadedHex file;
    for (const std::string& path : {dir.PathOf(""), fifo, std::string("/dev/zero"), socketPath}) {
        SCOPED_TRACE(path);
        ASSERT_TRUE(file.Load(dir.Write("good.hex", kRecords)));
        EXPECT_FALSE(LoadWithin(file, path));
        EXPECT_TRUE(file.m_hex.NotRegularFile());
        EXPECT_FALSE(file.m_hex.IsOpen());
        EXPECT_EQ(file.m_hex.Path(), path);
    }
    close(listener);

    // Any other outcome clears it: a missing file, a cancel, a good file.
    EXPECT_FALSE(file.Load(dir.PathOf("missing.hex")));
    EXPECT_FALSE(file.m_hex.NotRegularFile());
    ASSERT_FALSE(file.Load(fifo));
    file.m_chooser.m_cancel = true;
    EXPECT_FALSE(file.m_hex.Load());
    EXPECT_FALSE(file.m_hex.NotRegularFile());
    file.m_chooser.m_cancel = false;
    ASSERT_FALSE(file.Load(fifo));
    EXPECT_TRUE(file.Load(dir.Write("good.hex", kRecords)));
    EXPECT_FALSE(file.m_hex.NotRegularFile());
    EXPECT_EQ(file.m_hex.TotalLines(), 2);
}

TEST(HexFileSource, AChangeToTheOpenFileOrItsPathIsSeen) {
    CTempDir dir;
    const std::string path = dir.PathOf("firmware.hex");
    const auto append = [&] {
        FILE* f = std::fopen(path.c_str(), "ab");
        std::fputs(":00000001FF\n", f);
        std::fclose(f);
    };
    // Same size, new content; the time is pushed on in case the clock has not moved.
    const auto rewrite = [&] {
        struct stat before {};
        stat(path.c_str(), &before);
        FILE* f = std::fopen(path.c_str(), "r+b");
        std::fputs(":0400100001020304E3", f);
        std::fclose(f);
        timespec times[2] = {before.st_atim, before.st_mtim};
        times[1].tv_sec += 1;
        utimensat(AT_FDCWD, path.c_str(), times, 0);
    };
    const auto replace = [&] {
        const std::string other = dir.Write("other.hex", kRecords);
        std::rename(other.c_str(), path.c_str());
    };
    const struct {
        const char* name;
        std::function<void()> change;
    } cases[] = {
        {"truncated", [&] { ASSERT_EQ(truncate(path.c_str(), 0), 0); }},
        {"appended to", append},
        {"rewritten in place", rewrite},
        {"replaced by rename", replace},
        {"deleted", [&] { unlink(path.c_str()); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SLoadedHex file;
        ASSERT_TRUE(file.Load(dir.Write("firmware.hex", kRecords)));
        // Reading and building do not count as a change.
        uint32_t start = 0;
        uint32_t length = 0;
        uint16_t crc = 0;
        file.m_hex.ComputeImageCrc(start, length, crc);
        ASSERT_TRUE(file.m_hex.Rewind());
        uint8_t record[kLineBufferSize];
        file.m_hex.ReadRecord(record, kReadRecordLimit);
        EXPECT_FALSE(file.m_hex.Changed());
        c.change();
        EXPECT_TRUE(file.m_hex.Changed());
        // A new Load takes the file as it now is; closing leaves nothing to compare.
        if (access(path.c_str(), F_OK) == 0) {
            ASSERT_TRUE(file.Load(path));
            EXPECT_FALSE(file.m_hex.Changed());
        }
        file.m_hex.CloseFile();
        EXPECT_FALSE(file.m_hex.Changed());
    }
    EXPECT_FALSE(CHexFile().Changed());
}
