// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <sys/types.h>

#include <csignal>
#include <string>
#include <vector>

// A benchmarked program run as a child: argv[0] is its path, stdin is /dev/null and no other
// descriptor of ours leaks in (the in-process units' sockets stay here).
struct CChildRun {
    bool started = false;
    bool killed = false;  // still running at the limit, or interrupted
    int status = 0;       // from waitpid
    double seconds = 0;   // from the start to the reaping
    std::string output;   // stdout, when captured
};

// stdout and stderr go to logPath; pid 0 when it could not be started.
pid_t SpawnChild(const std::vector<std::string>& args, const std::string& logPath);

// Runs args to the end and returns its stdout in output (stderr goes to stderrPath). Killed with
// SIGKILL once limitSeconds passed or *stop became non-zero.
CChildRun RunCapturingStdout(const std::vector<std::string>& args, const std::string& stderrPath,
                             double limitSeconds, const volatile std::sig_atomic_t* stop);

// Waits for pid, killing it with SIGKILL once limitSeconds passed or *stop became non-zero.
// Polls every pollMs.
void WaitChild(pid_t pid, double limitSeconds, const volatile std::sig_atomic_t* stop, int pollMs,
               CChildRun& run);
