// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <string>

#include "Announcer.h"
#include "UnitLine.h"
#include "UnitSim.h"

struct CUnitSimOptions {
    CUnitSimConfig sim;
    CAnnounceConfig announce;
    bool messageGiven = false;  // otherwise the message names the bound port
    bool help = false;
    bool version = false;  // print the program's name and version
    size_t units = 1;
    std::string firstAddress;  // --addresses
    int joinEveryMs = 0;
    int restartMs = 500;

    CUnitLineConfig Line() const {
        return {units, sim, announce, messageGiven, firstAddress, joinEveryMs, restartMs};
    }
};

// Fills options from the command line; false with a one-line reason in error.
bool ParseUnitSimOptions(int argc, const char* const* argv, CUnitSimOptions& options,
                         std::string& error);

const char* UnitSimUsage();
// "quillon-unitsim VERSION", the name it is installed under.
const char* UnitSimVersionLine();
