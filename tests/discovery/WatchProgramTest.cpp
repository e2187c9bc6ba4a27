// SPDX-License-Identifier: Apache-2.0
// The pellisk-watch program itself: options, the taken port, --once and the stop signals.
// Every run gets a port of its own on loopback, never 30303.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "LoopbackSender.h"

extern char** environ;

namespace {

// One run of the program with its output collected; killed if it outlives its time.
class CWatchRun {
  public:
    explicit CWatchRun(std::vector<std::string> args) {
        int out[2];
        int err[2];
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        args.insert(args.begin(), PELLISK_WATCH_PROGRAM);
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(err[1]);
        m_out = out[0];
        m_err = err[0];
    }
    ~CWatchRun() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_out >= 0) ::close(m_out);
        if (m_err >= 0) ::close(m_err);
    }

    // Collects output until stdout holds wanted (empty: until the program ends) or time is up.
    bool ReadUntil(const std::string& wanted, int timeoutMs = 5000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < end) {
            if (!wanted.empty() && m_stdout.find(wanted) != std::string::npos) return true;
            pollfd fds[2] = {{m_out, POLLIN, 0}, {m_err, POLLIN, 0}};
            if (::poll(fds, 2, 50) <= 0) continue;
            bool open = false;
            open |= Drain(fds[0], &m_stdout);
            open |= Drain(fds[1], &m_stderr);
            if (!open) return wanted.empty() || m_stdout.find(wanted) != std::string::npos;
        }
        return false;
    }
    // The exit status, or -1 when it did not end in time or was killed by a signal.
    int Wait(int timeoutMs = 5000) {
        ReadUntil("", timeoutMs);
        for (int i = 0; i < timeoutMs / 10; ++i) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }
    void Signal(int number) { ::kill(m_pid, number); }

    std::string m_stdout;
    std::string m_stderr;

  private:
    static bool Drain(const pollfd& fd, std::string* into) {
        if ((fd.revents & (POLLIN | POLLHUP)) == 0) return fd.fd >= 0;
        char buffer[4096];
        const ssize_t got = ::read(fd.fd, buffer, sizeof buffer);
        if (got > 0) into->append(buffer, static_cast<std::size_t>(got));
        return got > 0;
    }

    pid_t m_pid = -1;
    int m_out = -1;
    int m_err = -1;
};

// A port that was free a moment ago; the program binds it right away.
std::string FreePort() {
    CPortHolder holder;
    return std::to_string(holder.Port());
}

TEST(WatchProgram, VersionHelpAndUsageErrors) {
    CWatchRun version({"--version"});
    EXPECT_EQ(version.Wait(), 0);
    EXPECT_EQ(version.m_stdout, "pellisk-watch " PELLISK_EXPECTED_VERSION "\n");

    CWatchRun help({"--help"});
    EXPECT_EQ(help.Wait(), 0);
    EXPECT_NE(help.m_stdout.find("--once SECONDS"), std::string::npos);

    for (const char* bad : {"--port=0", "--once=-1", "--colour", "extra"}) {
        CWatchRun run({bad});
        EXPECT_EQ(run.Wait(), 64) << bad;
        EXPECT_TRUE(run.m_stdout.empty()) << bad;
        EXPECT_TRUE(run.m_stderr.starts_with("pellisk-watch: ")) << bad;
    }
}

TEST(WatchProgram, TakenPortIsOneLineAndExitFour) {
    CPortHolder holder;
    const std::string port = std::to_string(holder.Port());
    const auto start = std::chrono::steady_clock::now();
    CWatchRun run({"--port", port});
    EXPECT_EQ(run.Wait(), 4);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3)) << "no retry";
    EXPECT_EQ(run.m_stderr, "pellisk-watch: cannot listen: UDP port " + port +
                                " is already in use by another program\n");
    EXPECT_TRUE(run.m_stdout.empty());
}

TEST(WatchProgram, OncePrintsTheUnitsListedWhenTimeIsUp) {
    const std::string port = FreePort();
    // The filter as the README gives it, against the MAC as the simulated unit sends it.
    CWatchRun run({"--once", "1.5", "--port", port, "--mac", "00:04:A3:12"});
    CLoopbackSender sender;
    const auto start = std::chrono::steady_clock::now();
    // Announce for a while, so that the first ones cannot be lost to the program's start-up.
    for (int i = 0; i < 10; ++i) {
        sender.Send(static_cast<uint16_t>(std::stoi(port)),
                    "Tolvane Unit\r\n00-04-A3-12-34-56\r\nBootloader on port 6969");
        sender.Send(static_cast<uint16_t>(std::stoi(port)),
                    "Other Unit\r\n00-04-A3-99-34-56\r\nBootloader on port 6969");
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_EQ(run.Wait(), 0);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(1000));
    EXPECT_LT(took, std::chrono::milliseconds(4000));
    EXPECT_EQ(run.m_stdout,
              "Tolvane Unit\t00-04-A3-12-34-56\t127.0.0.1\tBootloader on port 6969\n");
    EXPECT_TRUE(run.m_stderr.empty()) << run.m_stderr;
}

TEST(WatchProgram, StreamsEventsAndEndsCleanlyOnSigintAndSigterm) {
    for (const int signal : {SIGINT, SIGTERM}) {
        const std::string port = FreePort();
        CWatchRun run({"--json", "--port", port});
        CLoopbackSender sender;
        const std::string wanted = R"({"event":"appear","name":"Unit","mac":"m-1")";
        bool seen = false;
        for (int i = 0; i < 20 && !seen; ++i) {
            sender.Send(static_cast<uint16_t>(std::stoi(port)),
                        "Unit\r\nm-1\r\nlong enough to be accepted");
            seen = run.ReadUntil(wanted, 250);
        }
        ASSERT_TRUE(seen) << run.m_stdout << run.m_stderr;
        run.Signal(signal);
        EXPECT_EQ(run.Wait(), 0) << "signal " << signal;
        EXPECT_EQ(run.m_stdout.find(wanted), 0u) << "nothing before the appearance";
    }
}

}  // namespace
