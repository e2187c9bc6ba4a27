#include <csignal>
#include <cstdio>
#include <memory>
#include <string>

#include "Announcer.h"
#include "UnitSim.h"
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
    if (options.sim.name.size() > 16) {
        std::fprintf(stderr, "unitsim: the name field holds 16 bytes; \"%s\" is cut there\n",
                     options.sim.name.c_str());
    }

    // Blocked before any thread starts, so that only sigwait below sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    options.sim.printBound = true;
    options.sim.historyLimit = 0;  // only tests read the history; a long run keeps none
    CUnitSim sim(options.sim);
    if (!sim.Start()) return 1;

    std::unique_ptr<CAnnouncer> announcer;
    if (options.announce.intervalMs > 0) {
        if (!options.messageGiven) {
            options.announce.message = "Bootloader on UDP port " + std::to_string(sim.Port());
        }
        options.announce.sourceAddress = options.sim.bindAddress;
        announcer = std::make_unique<CAnnouncer>(options.announce);
        if (!announcer->Start()) return 1;
        std::printf("unitsim: announcing \"%s\" to %s:%u every %d ms\n",
                    options.announce.mac.c_str(), options.announce.targetAddress.c_str(),
                    static_cast<unsigned>(options.announce.targetPort),
                    options.announce.intervalMs);
        std::fflush(stdout);
    }

    int signal = 0;
    sigwait(&stopSignals, &signal);
    if (announcer) announcer->Stop();
    sim.Stop();
    std::printf("unitsim: stopped\n");
    return 0;
}
