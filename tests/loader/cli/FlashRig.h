#pragma once
// quillon-flash run as a process, and firmware files for it, shared by the CLI tests.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "Crc16.h"
#include "HexRecordText.h"
#include "TempDir.h"

struct CRun {
    int status = -1;
    std::string out, err;
    int ms = 0;  // how long it ran
};

// Runs quillon-flash with args; fdLimit > 0 caps its open files; during(pid) is called about
// every 100 ms while it runs; inChild() runs in the child just before quillon-flash starts.
// Bounded by timeoutMs.
inline CRun RunFlash(const std::vector<std::string>& args, int timeoutMs = 30000, int fdLimit = 0,
                     const std::function<void(pid_t)>& during = {},
                     const std::function<void()>& inChild = {}) {
    const auto start = std::chrono::steady_clock::now();
    int out[2], err[2];
    EXPECT_EQ(::pipe(out), 0);
    EXPECT_EQ(::pipe(err), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        for (int fd = 3; fd < 64; ++fd) ::close(fd);
        if (fdLimit > 0) {
            rlimit limit{static_cast<rlim_t>(fdLimit), static_cast<rlim_t>(fdLimit)};
            ::setrlimit(RLIMIT_NOFILE, &limit);
        }
        if (inChild) inChild();
        std::vector<char*> argv{const_cast<char*>(QUILLON_FLASH_PATH)};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(QUILLON_FLASH_PATH, argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
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
    }
    if (open > 0) ::kill(pid, SIGKILL);
    for (auto& f : fds)
        if (f.fd >= 0) ::close(f.fd);
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.ms = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                  std::chrono::steady_clock::now() - start)
                                  .count());
    return run;
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
