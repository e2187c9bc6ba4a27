#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "LoopbackClient.h"

namespace {

// The program as a person runs it: first line names the port, one line per request, and a
// clean exit on SIGTERM.
TEST(UnitSimProgram, PrintsPortAnswersAndStopsOnSignal) {
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::close(out[0]);
        ::close(out[1]);
        ::execl(UNITSIM_PROGRAM, "unitsim", "--port", "0", "--announce-interval", "0", "--name",
                "Prog", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    FILE* lines = ::fdopen(out[0], "r");
    char line[256] = {};
    ASSERT_NE(std::fgets(line, sizeof line, lines), nullptr);
    unsigned port = 0;
    ASSERT_EQ(std::sscanf(line, "unitsim: bootloader on 127.0.0.1:%u", &port), 1) << line;

    CLoopbackClient client;
    std::vector<uint8_t> expected = {1, 1, 4, 'P', 'r', 'o', 'g'};
    expected.resize(19, 0);
    EXPECT_EQ(client.Exchange(static_cast<uint16_t>(port), {1}), expected);
    ASSERT_NE(std::fgets(line, sizeof line, lines), nullptr);
    EXPECT_EQ(std::string(line), "unitsim: read-version, 1 byte\n");

    ::kill(pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    std::fclose(lines);
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
