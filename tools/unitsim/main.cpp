// SPDX-License-Identifier: Apache-2.0
#include <csignal>
#include <cstdio>
#include <string>

#include "UnitLine.h"
#include "UnitSimOptions.h"

int main(int argc, char** argv) {
    CUnitSimOptions options;
    std::string error;
    if (!ParseUnitSimOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "unitsim: %s\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(UnitSimUsage(), stdout);
        return 0;
    }
    if (options.version) {
        std::puts(UnitSimVersionLine());
        return 0;
    }
    const std::string longest = LineUnitName(options.sim.name, options.units - 1, options.units);
    if (longest.size() > 16) {
        std::fprintf(stderr, "unitsim: the name field holds 16 bytes; \"%s\" is cut there\n",
                     longest.c_str());
    }

    // Blocked before any thread starts, so that only sigwait below sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    options.sim.printBound = true;
    options.sim.historyLimit = 0;  // only tests read the history; a long run keeps none
    CUnitLine line(options.Line());
    if (!line.Start(error)) {
        std::fprintf(stderr, "unitsim: %s\n", error.c_str());
        return 1;
    }
    if (options.announce.intervalMs > 0) {
        for (size_t i = 0; i < line.Size(); ++i) {
            const CAnnounceConfig& announce = line.Announce(i);
            std::printf("unitsim: announcing \"%s\" to %s:%u every %d ms\n", announce.mac.c_str(),
                        announce.targetAddress.c_str(), static_cast<unsigned>(announce.targetPort),
                        announce.intervalMs);
        }
        std::fflush(stdout);
    }

    int signal = 0;
    sigwait(&stopSignals, &signal);
    // Each unit's own count, for whoever checks that a unit was flashed once.
    for (size_t i = 0; i < line.Size(); ++i) {
        std::printf("unitsim: %s:%u erased %d times\n", line.Address(i).c_str(),
                    static_cast<unsigned>(line.Port(i)), line.Unit(i).EraseCount());
    }
    line.Stop();
    std::printf("unitsim: stopped\n");
    return 0;
}
