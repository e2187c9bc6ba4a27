// SPDX-License-Identifier: Apache-2.0
#pragma once
// A simulated unit on 127.0.0.1 with an ephemeral port, the way every test starts one.
#include <gtest/gtest.h>

#include <memory>
#include <utility>

#include "UnitSim.h"

// kAwake answers Frames at once, for rigs that talk to the unit without a Connect.
enum class EWakeup { kNeeded, kAwake };

// config with the loopback address, port 0 and the wake-up choice.
inline CUnitSimConfig LoopbackConfig(EWakeup wakeup, CUnitSimConfig config = {}) {
    config.bindAddress = "127.0.0.1";
    config.port = 0;
    config.wakeupNeeded = wakeup == EWakeup::kNeeded;
    return config;
}

// The unit started; a failed start is a test failure, and Port() is then 0.
inline std::unique_ptr<CUnitSim> StartLoopbackUnit(EWakeup wakeup, CUnitSimConfig config = {}) {
    auto unit = std::make_unique<CUnitSim>(LoopbackConfig(wakeup, std::move(config)));
    EXPECT_TRUE(unit->Start());
    return unit;
}
