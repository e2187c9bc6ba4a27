// quillon-flash against what the network hands it: a send the system refuses.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include "FlashRig.h"

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

}  // namespace
