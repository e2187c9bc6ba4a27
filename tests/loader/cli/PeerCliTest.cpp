// SPDX-License-Identifier: Apache-2.0
// quillon-flash against what the network hands it: a send the system refuses, and a unit's
// name that holds control bytes.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "FlashRig.h"
#include "FleetView.h"
#include "LoopbackUnit.h"

namespace {

// A network namespace of its own, whose loopback is down: every send fails at once.
bool EnterNetworkWithoutLoopback() {
    return ::unshare(CLONE_NEWNET) == 0 || ::unshare(CLONE_NEWUSER | CLONE_NEWNET) == 0;
}

bool CanEnterNetworkWithoutLoopback() {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(EnterNetworkWithoutLoopback() ? 0 : 1);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(PeerCli, ASendTheSystemRefusesEndsTheRunAtOnceWithFour) {
    if (!CanEnterNetworkWithoutLoopback()) GTEST_SKIP() << "no network namespace here";
    CFirmware fw(4);
    const CRun run = RunFlash({"127.0.0.1:6969", fw.Path()}, 20000, 0, {}, [] {
        if (!EnterNetworkWithoutLoopback()) ::_exit(126);
    });
    EXPECT_EQ(run.status, 4) << run.out << run.err;
    EXPECT_EQ(run.out, "Attempting to connect...\nNetwork error: Network is unreachable.\n");
    EXPECT_EQ(run.err,
              "quillon-flash: cannot send to 127.0.0.1 port 6969: Network is unreachable\n");
    EXPECT_LT(run.ms, 3000);  // not the 9 s of a silent unit's tries
}

const std::string kHostileName = "\x1b[31m\a\r\nDone.";
const std::string kShownVersion = "\uFFFD[31m\uFFFD\uFFFD\uFFFDDone. bootloader v1.04";

bool HasControlBytesBesidesLineEnds(const std::string& text) {
    for (const char c : text)
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\n') || c == 0x7F) return true;
    return false;
}

TEST(PeerCli, AUnitsNameReachesTheTerminalNeutralisedAndTheJsonWhole) {
    CUnitSimConfig config;
    config.name = kHostileName;
    const auto unit = StartLoopbackUnit(EWakeup::kNeeded, config);
    const std::string target = "127.0.0.1:" + std::to_string(unit->Port());

    const CRun plain = RunFlash({"--info", target});
    EXPECT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(plain.out, "Attempting to connect...\nConnected.\n" + kShownVersion +
                             "\nBootloader exited, unit restarted.\nDisconnected.\n");

    const CRun json = RunFlash({"--info", "--json", target});
    EXPECT_EQ(json.status, 0) << json.err;
    const std::string escaped = "\\u001B[31m\\u0007\\u000D\\u000ADone. bootloader v1.04";
    EXPECT_NE(json.out.find("\"line\":\"" + escaped + "\""), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"version\":\"" + escaped + "\""), std::string::npos) << json.out;
    EXPECT_EQ(json.out.find("\"line\":\"Done. bootloader"), std::string::npos) << json.out;
}

TEST(PeerCli, ManyUnitsNamesArePrefixedNeutralised) {
    CUnitSimConfig config;
    config.name = kHostileName;
    const auto first = StartLoopbackUnit(EWakeup::kNeeded, config);
    const auto second = StartLoopbackUnit(EWakeup::kNeeded, config);
    CFirmware fw(4);
    const std::string a = "127.0.0.1:" + std::to_string(first->Port());
    const std::string b = "127.0.0.1:" + std::to_string(second->Port());
    const CRun run = RunFlash({a, b, fw.Path()});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(run.out.find(a + ": " + kShownVersion + "\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(b + ": " + kShownVersion + "\n"), std::string::npos) << run.out;
    EXPECT_FALSE(HasControlBytesBesidesLineEnds(run.out + run.err)) << run.out << run.err;
}

TEST(PeerCli, TheBoardShowsNoControlBytesFromAUnitsEvents) {
    const std::vector<CTarget> targets(1, CTarget{"127.0.0.1", {127, 0, 0, 1}, 0, "argument 1"});
    CBoardFleetView board(targets);
    CJsonFields fields;
    ASSERT_TRUE(ParseJsonObject(
        R"({"event":"progress","time":1,"stage":"prog\u001B[2Jramming","done":1,"total":2})",
        fields));
    board.OnEvent(0, "", fields);
    EXPECT_FALSE(HasControlBytesBesidesLineEnds(board.LiveLine(0, 2))) << board.LiveLine(0, 2);
    std::vector<CUnitResult> results(1);
    results[0].message = "no response\x1b[2J\r\nverified";
    const std::string table = CBoardFleetView::SummaryTable(targets, results);
    EXPECT_FALSE(HasControlBytesBesidesLineEnds(table)) << table;
    EXPECT_NE(table.find("no response\uFFFD[2J\uFFFD\uFFFDverified"), std::string::npos) << table;
}

}  // namespace
