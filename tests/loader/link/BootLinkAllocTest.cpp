// SPDX-License-Identifier: Apache-2.0
// The worker allocates nothing per datagram, record or command: every heap allocation made off
// the test's own thread during a whole programming run is counted. The unit runs as a separate
// process so that its allocations don't count.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <thread>

#include "BootLink.h"
#include "BootMessageQueue.h"
#include "EngineHarnessFiles.h"
#include "PathChooser.h"
#include "TempDir.h"

extern char** environ;

namespace {
std::atomic<bool> g_counting{false};
std::atomic<long> g_offThreadAllocations{0};
std::thread::id g_testThread;

void CountAllocation() {
    if (g_counting.load(std::memory_order_relaxed) && std::this_thread::get_id() != g_testThread)
        g_offThreadAllocations.fetch_add(1, std::memory_order_relaxed);
}
}  // namespace

// GCC sees the replaced pair as mismatched when it inlines a caller's new and delete.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size) {
    CountAllocation();
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

// The unitsim program on an ephemeral loopback port.
class CUnitProcess {
  public:
    bool Start() {
        int out[2];
        if (::pipe(out) != 0) return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        char* argv[] = {const_cast<char*>(UNITSIM_PATH),
                        const_cast<char*>("--port"),
                        const_cast<char*>("0"),
                        const_cast<char*>("--announce-interval"),
                        const_cast<char*>("0"),
                        const_cast<char*>("--quiet"),
                        const_cast<char*>("--no-wakeup-needed"),
                        nullptr};
        const int rc = posix_spawn(&m_pid, UNITSIM_PATH, &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        if (rc != 0) return false;
        // First line: "unitsim: bootloader on 127.0.0.1:<port>"
        char line[256] = {};
        size_t used = 0;
        while (used + 1 < sizeof line) {
            const ssize_t n = ::read(out[0], line + used, 1);
            if (n <= 0 || line[used] == '\n') break;
            ++used;
        }
        ::close(out[0]);
        const char* colon = std::strrchr(line, ':');
        m_port = colon ? static_cast<uint16_t>(std::atoi(colon + 1)) : 0;
        return m_port != 0;
    }
    ~CUnitProcess() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    uint16_t Port() const { return m_port; }

  private:
    pid_t m_pid = -1;
    uint16_t m_port = 0;
};

TEST(BootLinkAllocations, AWholeProgrammingRunAllocatesNothingOnTheWorker) {
    g_testThread = std::this_thread::get_id();
    CUnitProcess unit;
    ASSERT_TRUE(unit.Start());
    CTempDir dir;
    CPathChooser chooser(dir.Write("image.hex", HexFileText(3000)));  // 273 batches
    CBootMessageQueue queue;
    CBootLink link;
    link.SetFileChooser(&chooser);
    ASSERT_TRUE(link.Load());
    ASSERT_TRUE(link.Open(unit.Port(), htonl(INADDR_LOOPBACK)));
    link.StartWorker(&queue);

    CBootMessage m;
    auto next = [&](int timeoutMs) {
        for (int waited = 0; waited < timeoutMs; waited += 20) {
            if (queue.Take(m)) return true;
            queue.WaitFor(20);
        }
        return false;
    };
    // Warm up the worker's first pass (thread start-up belongs to the test thread's count).
    ASSERT_TRUE(link.StartCommand(CMD_ERASE, 0, 3, 500));
    ASSERT_TRUE(next(3000));
    g_counting = true;
    ASSERT_TRUE(link.StartCommand(CMD_PROGRAM, 0, 3, 500));
    ASSERT_TRUE(next(30000));
    EXPECT_EQ(m.message, WM_BOOT_REPLY);
    ASSERT_TRUE(link.StartCommand(CMD_VERIFY, 0, 3, 500));
    ASSERT_TRUE(next(3000));
    g_counting = false;
    EXPECT_EQ(m.message, WM_BOOT_REPLY);
    EXPECT_EQ(m.reply[1] | m.reply[2] << 8, link.GetImageCrc());
    EXPECT_EQ(g_offThreadAllocations.load(), 0);
    link.StopWorker();
}

}  // namespace
