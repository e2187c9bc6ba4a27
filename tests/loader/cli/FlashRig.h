// SPDX-License-Identifier: Apache-2.0
#pragma once
// quillon-flash run as a process, and firmware files for it, shared by the CLI tests.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "Crc16.h"
#include "HexRecordText.h"
#include "TempDir.h"

struct CRun {
    int status = -1;  // the exit status; -1 when a signal ended it
    int signal = 0;   // that signal
    std::string out, err;
    int ms = 0;  // how long it ran
};

// How a run is driven besides its arguments.
struct CRunHooks {
    int timeoutMs = 30000;
    int fdLimit = 0;                    // > 0 caps its open files
    std::function<void(pid_t)> during;  // called about every 100 ms while it runs
    // Once it holds for what was read of stdout so far, the reader of stdout goes away, as
    // "| grep -m1" does; stderr is still read.
    std::function<bool(const std::string&)> closeOutWhen;
    std::string input;  // its standard input
    std::function<void()> inChild;  // runs in the child just before quillon-flash starts
};

// Runs quillon-flash with args, bounded by hooks.timeoutMs: stdout and stderr are read until
// every process holding them (its units too) has closed them.
inline CRun RunFlash(const std::vector<std::string>& args, const CRunHooks& hooks) {
    const auto start = std::chrono::steady_clock::now();
    const int timeoutMs = hooks.timeoutMs, fdLimit = hooks.fdLimit;
    const auto& during = hooks.during;
    int out[2], err[2], in[2];
    EXPECT_EQ(::pipe(out), 0);
    EXPECT_EQ(::pipe(err), 0);
    EXPECT_EQ(::pipe(in), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        for (int fd = 3; fd < 64; ++fd) ::close(fd);
        if (fdLimit > 0) {
            rlimit limit{static_cast<rlim_t>(fdLimit), static_cast<rlim_t>(fdLimit)};
            ::setrlimit(RLIMIT_NOFILE, &limit);
        }
        if (hooks.inChild) hooks.inChild();
        std::vector<char*> argv{const_cast<char*>(QUILLON_FLASH_PATH)};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(QUILLON_FLASH_PATH, argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    ::close(in[0]);
    // Small enough for the pipe: written whole at once, then the end of input.
    if (!hooks.input.empty()) {
        EXPECT_EQ(::write(in[1], hooks.input.data(), hooks.input.size()),
                  static_cast<ssize_t>(hooks.input.size()));
    }
    ::close(in[1]);
    CRun run;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int open = 2;
    while (open > 0 && std::chrono::steady_clock::now() < until) {
        if (during) during(pid);
        if (::poll(fds, 2, 100) <= 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
            char buf[4096];
            const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
            if (n <= 0) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            } else {
                (i == 0 ? run.out : run.err).append(buf, static_cast<size_t>(n));
            }
        }
        if (hooks.closeOutWhen && fds[0].fd >= 0 && hooks.closeOutWhen(run.out)) {
            ::close(fds[0].fd);
            fds[0].fd = -1;
            --open;
        }
    }
    if (open > 0) ::kill(pid, SIGKILL);
    for (auto& f : fds)
        if (f.fd >= 0) ::close(f.fd);
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    run.ms = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                  std::chrono::steady_clock::now() - start)
                                  .count());
    return run;
}

inline CRun RunFlash(const std::vector<std::string>& args, int timeoutMs = 30000, int fdLimit = 0,
                     const std::function<void(pid_t)>& during = {},
                     const std::function<void()>& inChild = {}) {
    CRunHooks hooks;
    hooks.timeoutMs = timeoutMs;
    hooks.fdLimit = fdLimit;
    hooks.during = during;
    hooks.inChild = inChild;
    return RunFlash(args, hooks);
}

// The process that a quillon-flash of many units, parent, runs for target; 0 while none.
inline pid_t UnitProcess(pid_t parent, const std::string& target) {
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) return 0;
    pid_t found = 0;
    while (const dirent* entry = ::readdir(proc)) {
        const pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
        if (pid <= 0) continue;
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), {});
        const size_t close = text.rfind(')');  // the name may hold anything
        if (close == std::string::npos) continue;
        char state = 0;
        int ppid = 0;
        if (std::sscanf(text.c_str() + close + 1, " %c %d", &state, &ppid) != 2 || ppid != parent)
            continue;
        std::ifstream cmdline("/proc/" + std::to_string(pid) + "/cmdline");
        for (std::string arg; std::getline(cmdline, arg, '\0');)
            if (arg == target) found = pid;
        if (found) break;
    }
    ::closedir(proc);
    return found;
}

class CFirmware {
  public:
    // count records of 16 bytes at 0x9D000000, CR LF line ends as tools on Windows write them.
    explicit CFirmware(int count, bool withData = true) {
        m_text = HexRecord(4, 0, {0x1D, 0x00}, "\r\n");
        for (int r = 0; r < count; ++r) {
            std::vector<uint8_t> data(16);
            for (int i = 0; i < 16; ++i) data[i] = static_cast<uint8_t>(r * 3 + i * 5 + 1);
            if (withData) m_bytes.insert(m_bytes.end(), data.begin(), data.end());
            m_text += HexRecord(withData ? 0 : 5, static_cast<uint16_t>(r * 16), data, "\r\n");
        }
        m_text += ":00000001FF\r\n";
        m_path = m_dir.Write("firmware.hex", m_text);
    }
    const std::string& Path() const { return m_path; }
    uint16_t Crc() const { return Crc16(m_bytes.data(), static_cast<uint32_t>(m_bytes.size())); }
    uint32_t Length() const { return static_cast<uint32_t>(m_bytes.size()); }

  private:
    CTempDir m_dir;
    std::string m_text, m_path;
    std::vector<uint8_t> m_bytes;
};
