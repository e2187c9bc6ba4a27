// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "LoopbackClient.h"

namespace {

const std::vector<uint8_t> kWakeup = {'r', 'e', 'm', 'o', 't', 'e', 'b', 'o',
                                      'o', 't', 'l', 's', 't', 'd', 0};

// The program with its standard output on a pipe.
class CProgram {
  public:
    explicit CProgram(std::vector<const char*> args) {
        int out[2];
        if (::pipe(out) != 0) return;
        args.insert(args.begin(), "unitsim");
        args.push_back(nullptr);
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::close(out[0]);
            ::close(out[1]);
            ::execv(UNITSIM_PROGRAM, const_cast<char* const*>(args.data()));
            ::_exit(127);
        }
        ::close(out[1]);
        m_lines = ::fdopen(out[0], "r");
    }
    ~CProgram() {
        if (m_pid > 0) ::kill(m_pid, SIGKILL), ::waitpid(m_pid, nullptr, 0);
        if (m_lines) std::fclose(m_lines);
    }
    std::string Line() {
        char line[256] = {};
        return m_lines && std::fgets(line, sizeof line, m_lines) ? line : "";
    }
    uint16_t BoundPort() {
        unsigned port = 0;
        const std::string line = Line();
        EXPECT_EQ(std::sscanf(line.c_str(), "unitsim: bootloader on 127.0.0.1:%u", &port), 1);
        return static_cast<uint16_t>(port);
    }
    int Stop() {  // SIGTERM; the exit code, or -1 when it did not exit
        int status = 0;
        ::kill(m_pid, SIGTERM);
        if (::waitpid(m_pid, &status, 0) != m_pid) return -1;
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    pid_t m_pid = -1;
    FILE* m_lines = nullptr;
};

// The program as a person runs it: first line names the port, one line per request, and a
// clean exit on SIGTERM.
TEST(UnitSimProgram, PrintsPortAnswersAndStopsOnSignal) {
    CProgram program({"--port", "0", "--announce-interval", "0", "--name", "Prog"});
    const uint16_t port = program.BoundPort();
    CLoopbackClient client;
    client.SendRaw(port, kWakeup);
    EXPECT_EQ(client.Exchange(port, {1}), VersionReply("Prog"));
    EXPECT_EQ(program.Line(), "unitsim: wake-up \"remotebootlstd\" from port " +
                                  std::to_string(client.Port()) + "\n");
    EXPECT_EQ(program.Line(), "unitsim: read-version, 1 byte\n");
    EXPECT_EQ(program.Stop(), 0);
}

// Each unit of a line answers and announces under the same numbered name, with its own MAC.
TEST(UnitSimProgram, ALineOfUnitsAnswersAndAnnouncesUnderOneNameEach) {
    CLoopbackClient listener;
    const std::string to = std::to_string(listener.Port());
    CProgram program({"--port", "0", "--units", "3", "--name", "Prog", "--mac", "00-04-A3-00-00-10",
                      "--announce-port", to.c_str(), "--quiet"});
    uint16_t ports[3];
    for (uint16_t& port : ports) port = program.BoundPort();
    std::vector<std::string> announces;
    for (int i = 0; i < 3; ++i) {
        const std::vector<uint8_t> payload = listener.ReceiveRaw(2000);
        announces.emplace_back(payload.begin(), payload.end());
    }
    CLoopbackClient client;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(ports[i], ports[0] + i);
        const std::string name = "Prog-" + std::to_string(i + 1);
        const std::string announce = name + "\r\n00-04-A3-00-00-1" + std::to_string(i) +
                                     "\r\nBootloader on UDP port " + std::to_string(ports[i]);
        EXPECT_EQ(std::count(announces.begin(), announces.end(), announce), 1) << announce;
        client.SendRaw(ports[i], kWakeup);
        EXPECT_EQ(client.Exchange(ports[i], {1}), VersionReply(name));
    }
    client.SendRaw(ports[1], kWakeup);
    EXPECT_EQ(client.Exchange(ports[1], {2}), std::vector<uint8_t>{2});
    EXPECT_EQ(program.Stop(), 0);
    // The count each unit kept, for tests of whoever flashes the line.
    std::vector<std::string> counts;
    for (std::string line = program.Line(); !line.empty(); line = program.Line())
        if (line.find(" erased ") != std::string::npos) counts.push_back(line);
    ASSERT_EQ(counts.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(counts[i], "unitsim: 127.0.0.1:" + std::to_string(ports[i]) + " erased " +
                                 std::to_string(i == 1) + " times\n");
    }
}

TEST(UnitSimProgram, BadOptionExitsWithAMessage) {
    const std::string command = std::string(UNITSIM_PROGRAM) + " --port x 2>&1";
    FILE* p = ::popen(command.c_str(), "r");
    ASSERT_NE(p, nullptr);
    char line[256] = {};
    ASSERT_NE(std::fgets(line, sizeof line, p), nullptr);
    EXPECT_NE(std::string(line).find("--port"), std::string::npos) << line;
    const int status = ::pclose(p);
    EXPECT_EQ(WEXITSTATUS(status), 2);
}

}  // namespace
