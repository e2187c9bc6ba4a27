// SPDX-License-Identifier: Apache-2.0
// pellisk-watch: Pellisk's list for scripts. Reads announces and ticks on one thread, as the
// window does; SIGINT and SIGTERM are only ever delivered inside ppoll, so none is missed.
#include <poll.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "core/UdpAnnounceSocket.h"
#include "watch/Watcher.h"

namespace {

volatile sig_atomic_t g_stop = 0;

void OnStopSignal(int) {
    g_stop = 1;
}

void WriteTo(std::FILE* stream, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

using CClock = std::chrono::steady_clock;

int MillisecondsUntil(CClock::time_point when) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(when - CClock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(left);
}

}  // namespace

int main(int argc, char** argv) {
    CWatchOptions options;
    std::string error;
    if (!ParseWatchOptions(argc, argv, &options, &error)) {
        std::fprintf(stderr, "pellisk-watch: %s\n%s(try --help)\n", error.c_str(), kWatchUsage);
        return kExitUsage;
    }
    if (options.help) {
        std::printf("%s\n%s", kWatchUsage, kWatchHelp);
        return 0;
    }
    if (options.version) {
        std::printf("%s\n", WatchVersionLine());
        return 0;
    }

    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigset_t waitMask;
    sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
    sigdelset(&waitMask, SIGINT);
    sigdelset(&waitMask, SIGTERM);
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    CUdpAnnounceSocket socket;
    CWatcher watcher(
        options, socket, [](std::string_view line) { WriteTo(stdout, line); },
        [](std::string_view line) { WriteTo(stderr, line); });
    if (!watcher.Start(&error)) {
        std::fprintf(stderr, "pellisk-watch: %s\n", error.c_str());
        return kExitListenFailed;
    }

    const auto interval = std::chrono::milliseconds(watcher.TickIntervalMs());
    const auto end = CClock::now() + std::chrono::milliseconds(
                                         static_cast<long long>(options.onceSeconds * 1000.0));
    auto nextTick = CClock::now() + interval;
    // A flood must not starve the ticks: at most this many datagrams between two looks at time.
    constexpr int kArrivalsPerWake = 256;
    while (g_stop == 0) {
        if (options.once && CClock::now() >= end) break;
        if (CClock::now() >= nextTick) {
            watcher.Tick();
            nextTick += interval;
            if (nextTick < CClock::now()) nextTick = CClock::now() + interval;  // after a stall
        }
        int wait = MillisecondsUntil(nextTick);
        if (options.once) wait = std::min(wait, MillisecondsUntil(end));
        pollfd listener{socket.Descriptor(), POLLIN, 0};
        const timespec timeout{wait / 1000, (wait % 1000) * 1000000L};
        if (::ppoll(&listener, 1, &timeout, &waitMask) <= 0) continue;
        for (int handled = 0; handled < kArrivalsPerWake && socket.WaitReadable(0); ++handled) {
            watcher.Arrive();
        }
    }
    if (options.once) watcher.WriteListed();
    return 0;
}
