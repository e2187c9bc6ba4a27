// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "UnitSimOptions.h"

namespace {

bool Parse(std::vector<const char*> args, CUnitSimOptions& options, std::string& error) {
    args.insert(args.begin(), "unitsim");
    return ParseUnitSimOptions(static_cast<int>(args.size()), args.data(), options, error);
}

TEST(UnitSimOptions, DefaultsAreLoopbackAndLogging) {
    CUnitSimOptions o;
    std::string error;
    ASSERT_TRUE(Parse({}, o, error));
    EXPECT_EQ(o.sim.bindAddress, "127.0.0.1");
    EXPECT_EQ(o.sim.port, 6969);
    EXPECT_EQ(o.sim.major, 1);
    EXPECT_EQ(o.sim.minor, 4);
    EXPECT_TRUE(o.sim.log);
    EXPECT_EQ(o.announce.targetAddress, "127.0.0.1");
    EXPECT_EQ(o.announce.targetPort, 30303);
    EXPECT_EQ(o.announce.intervalMs, 2000);
    EXPECT_FALSE(o.messageGiven);
    EXPECT_EQ(o.units, 1u);
    EXPECT_TRUE(o.sim.wakeupNeeded);
}

TEST(UnitSimOptions, EveryOptionIsTaken) {
    CUnitSimOptions o;
    std::string error;
    ASSERT_TRUE(Parse({"--bind",
                       "127.0.0.2",
                       "--port",
                       "0",
                       "--name",
                       "Unit",
                       "--mac",
                       "AA",
                       "--version",
                       "2.10",
                       "--announce-interval",
                       "0",
                       "--announce-port",
                       "30304",
                       "--announce-address",
                       "127.0.0.3",
                       "--message",
                       "hi",
                       "--drop-request",
                       "0.1",
                       "--drop-reply",
                       "0.2",
                       "--duplicate-reply",
                       "1",
                       "--corrupt-request",
                       "0",
                       "--corrupt-reply",
                       "0.5",
                       "--delay-reply",
                       "0.25:300",
                       "--silent",
                       "--seed",
                       "4000000000",
                       "--quiet",
                       "--units",
                       "32",
                       "--no-wakeup-needed",
                       "--erase-ms",
                       "1200",
                       "--program-us-per-byte",
                       "15",
                       "--addresses",
                       "127.0.0.9",
                       "--join-every",
                       "250",
                       "--restart-ms",
                       "0"},
                      o, error))
        << error;
    EXPECT_EQ(o.sim.bindAddress, "127.0.0.2");
    EXPECT_EQ(o.sim.port, 0);
    EXPECT_EQ(o.sim.name, "Unit");
    EXPECT_EQ(o.announce.mac, "AA");
    EXPECT_EQ(o.sim.major, 2);
    EXPECT_EQ(o.sim.minor, 10);
    EXPECT_EQ(o.announce.intervalMs, 0);
    EXPECT_EQ(o.announce.targetPort, 30304);
    EXPECT_EQ(o.announce.targetAddress, "127.0.0.3");
    EXPECT_EQ(o.announce.message, "hi");
    EXPECT_TRUE(o.messageGiven);
    EXPECT_DOUBLE_EQ(o.sim.faults.dropRequest, 0.1);
    EXPECT_DOUBLE_EQ(o.sim.faults.dropReply, 0.2);
    EXPECT_DOUBLE_EQ(o.sim.faults.duplicateReply, 1);
    EXPECT_DOUBLE_EQ(o.sim.faults.corruptReply, 0.5);
    EXPECT_DOUBLE_EQ(o.sim.faults.delayReply, 0.25);
    EXPECT_EQ(o.sim.faults.delayReplyMs, 300);
    EXPECT_TRUE(o.sim.faults.silent);
    EXPECT_EQ(o.sim.faults.seed, 4000000000u);
    EXPECT_FALSE(o.sim.log);
    EXPECT_EQ(o.units, 32u);
    EXPECT_FALSE(o.sim.wakeupNeeded);
    EXPECT_EQ(o.sim.eraseMs, 1200u);
    EXPECT_EQ(o.sim.programUsPerByte, 15u);
    EXPECT_EQ(o.firstAddress, "127.0.0.9");
    EXPECT_EQ(o.joinEveryMs, 250);
    EXPECT_EQ(o.restartMs, 0);

    CUnitSimOptions v;
    ASSERT_TRUE(Parse({"--version", "1.04", "--help"}, v, error));
    EXPECT_EQ(v.sim.minor, 4);
    EXPECT_TRUE(v.help);
}

// --version alone asks for the program's version; with a value it still sets the bootloader's.
TEST(UnitSimOptions, VersionAloneAsksForTheProgramsVersion) {
    std::string error;
    CUnitSimOptions alone;
    ASSERT_TRUE(Parse({"--version"}, alone, error)) << error;
    EXPECT_TRUE(alone.version);
    CUnitSimOptions beforeOption;
    ASSERT_TRUE(Parse({"--version", "--quiet"}, beforeOption, error)) << error;
    EXPECT_TRUE(beforeOption.version);
    EXPECT_FALSE(beforeOption.sim.log);
    CUnitSimOptions spelled;
    ASSERT_TRUE(Parse({"--bootloader-version", "1.03"}, spelled, error)) << error;
    EXPECT_FALSE(spelled.version);
    EXPECT_EQ(spelled.sim.major, 1);
    EXPECT_EQ(spelled.sim.minor, 3);
    // -V is only ever the program's version: a value after it is not taken for the bootloader's.
    CUnitSimOptions shortForm;
    ASSERT_TRUE(Parse({"-V"}, shortForm, error)) << error;
    EXPECT_TRUE(shortForm.version);
    EXPECT_FALSE(Parse({"-V", "1.03"}, shortForm, error));
    EXPECT_EQ(shortForm.sim.minor, 4);
    EXPECT_EQ(std::string(UnitSimVersionLine()).rfind("quillon-unitsim ", 0), 0u);
    for (const char* value : {"1", "1.4.5"}) {
        CUnitSimOptions bad;
        EXPECT_FALSE(Parse({"--bootloader-version", value}, bad, error)) << value;
    }
    CUnitSimOptions missing;
    EXPECT_FALSE(Parse({"--bootloader-version"}, missing, error));
}

TEST(UnitSimOptions, BadValuesAreNamed) {
    const std::vector<std::vector<const char*>> bad = {
        {"--port", "65536"},          {"--port", "-1"},         {"--port"},
        {"--version", "1"},           {"--version", "1.256"},   {"--version", "x.4"},
        {"--drop-reply", "1.5"},      {"--drop-reply", "nan"},  {"--delay-reply", "0.5"},
        {"--delay-reply", "0.5:-3"},  {"--announce-port", "0"}, {"--seed", "5000000000"},
        {"--announce-interval", "x"}, {"--frobnicate"},         {"--units", "0"},
        {"--units", "129"},           {"--erase-ms", "-5"},     {"--program-us-per-byte", "x"},
    };
    for (const auto& args : bad) {
        CUnitSimOptions o;
        std::string error;
        EXPECT_FALSE(Parse(args, o, error)) << args[0];
        EXPECT_NE(error.find(args[0]), std::string::npos) << error;
    }
}

}  // namespace
