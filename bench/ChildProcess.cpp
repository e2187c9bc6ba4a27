// SPDX-License-Identifier: Apache-2.0
#include "ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

extern char** environ;

namespace {

using CClock = std::chrono::steady_clock;

double SecondsSince(CClock::time_point begin) {
    return std::chrono::duration<double>(CClock::now() - begin).count();
}

std::vector<char*> Argv(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    return argv;
}

void KillAndReap(pid_t pid, CChildRun& run) {
    ::kill(pid, SIGKILL);
    while (::waitpid(pid, &run.status, 0) < 0 && errno == EINTR) {
    }
    run.killed = true;
}

}  // namespace

pid_t SpawnChild(const std::vector<std::string>& args, const std::string& logPath) {
    std::vector<char*> argv = Argv(args);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, logPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : 0;
}

void WaitChild(pid_t pid, double limitSeconds, const volatile std::sig_atomic_t* stop, int pollMs,
               CChildRun& run) {
    const auto begin = CClock::now();
    while (::waitpid(pid, &run.status, WNOHANG) == 0) {
        if (SecondsSince(begin) > limitSeconds || (stop != nullptr && *stop)) {
            KillAndReap(pid, run);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(pollMs));
    }
}

CChildRun RunCapturingStdout(const std::vector<std::string>& args, const std::string& stderrPath,
                             double limitSeconds, const volatile std::sig_atomic_t* stop) {
    CChildRun run;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return run;
    std::vector<char*> argv = Argv(args);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, stderrPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    pid_t pid = 0;
    const auto begin = CClock::now();
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        return run;
    }
    run.started = true;
    // Reading until the end of its output ends the wait at once, without a polling step.
    char buffer[8192];
    for (;;) {
        const double left = limitSeconds - SecondsSince(begin);
        if (left <= 0 || (stop != nullptr && *stop)) {
            KillAndReap(pid, run);
            break;
        }
        pollfd p{fds[0], POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(std::min(left * 1000, 100.0)) + 1);
        if (ready < 0 && errno != EINTR) break;
        if (ready <= 0) continue;
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        run.output.append(buffer, static_cast<size_t>(n));
    }
    ::close(fds[0]);
    if (!run.killed)
        WaitChild(pid, std::max(limitSeconds - SecondsSince(begin), 1.0), stop, 1, run);
    run.seconds = SecondsSince(begin);
    return run;
}
