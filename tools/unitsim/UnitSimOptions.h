#pragma once
#include <string>

#include "Announcer.h"
#include "UnitSim.h"

struct CUnitSimOptions {
    CUnitSimConfig sim;
    CAnnounceConfig announce;
    bool messageGiven = false;  // otherwise the message names the bound port
    bool help = false;
};

// Fills options from the command line; false with a one-line reason in error.
bool ParseUnitSimOptions(int argc, const char* const* argv, CUnitSimOptions& options,
                         std::string& error);

const char* UnitSimUsage();
