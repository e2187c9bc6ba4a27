// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "FlashOptions.h"
#include "FlashText.h"
#include "TempDir.h"

namespace {

bool Parse(std::initializer_list<const char*> args, CFlashOptions& options, std::string& error) {
    std::vector<const char*> argv{"quillon-flash"};
    argv.insert(argv.end(), args);
    return ParseFlashOptions(static_cast<int>(argv.size()), argv.data(), options, error);
}

TEST(FlashOptions, ReadsEveryOptionOfAFlash) {
    CFlashOptions o;
    std::string error;
    ASSERT_TRUE(Parse({"--port", "6969", "--reset-defaults", "--extended-timeout", "--quiet",
                       "127.0.0.1", "fw.hex"},
                      o, error))
        << error;
    EXPECT_EQ(o.mode, EFlashMode::kFlash);
    EXPECT_EQ(o.port, 6969);
    EXPECT_TRUE(o.resetDefaults && o.extendedTimeout && o.quiet);
    ASSERT_EQ(o.targets.size(), 1u);
    EXPECT_EQ(o.targets[0].address[0], 127);
    EXPECT_EQ(o.targets[0].address[3], 1);
    EXPECT_EQ(o.firmware, "fw.hex");

    CFlashOptions defaults;
    ASSERT_TRUE(Parse({"127.0.0.1", "fw.hex"}, defaults, error));
    EXPECT_EQ(defaults.port, 69);
    EXPECT_FALSE(defaults.resetDefaults || defaults.extendedTimeout || defaults.quiet);
}

TEST(FlashOptions, RefusesWhatItCannotUse) {
    const std::vector<std::vector<const char*>> bad = {
        {},
        {"127.0.0.1"},
        {"127.0.0.1", "a.hex", "b.hex"},
        {"127.1", "fw.hex"},  // shorthand is not dotted decimal
        {"256.0.0.1", "fw.hex"},
        {"0x7f.0.0.1", "fw.hex"},
        {"--port", "0", "127.0.0.1", "fw.hex"},
        {"--port", "65536", "127.0.0.1", "fw.hex"},
        {"--port", "69x", "127.0.0.1", "fw.hex"},
        {"--port"},
        {"--bogus", "127.0.0.1", "fw.hex"},
        {"--info"},
        {"--info", "--reset-defaults", "127.0.0.1"},
        {"--image-info"},
        {"--image-info", "--port", "69", "fw.hex"},
        {"--info", "--image-info", "fw.hex"},
    };
    for (const auto& args : bad) {
        std::vector<const char*> argv{"quillon-flash"};
        argv.insert(argv.end(), args.begin(), args.end());
        CFlashOptions o;
        std::string error;
        EXPECT_FALSE(ParseFlashOptions(static_cast<int>(argv.size()), argv.data(), o, error))
            << (args.empty() ? "(none)" : args[0]);
        EXPECT_FALSE(error.empty());
    }
}

TEST(FlashOptions, KnowsTheOtherModes) {
    CFlashOptions info, image, help;
    std::string error;
    ASSERT_TRUE(Parse({"--extended-timeout", "--info", "127.3.4.5"}, info, error));
    EXPECT_EQ(info.mode, EFlashMode::kInfo);
    ASSERT_TRUE(Parse({"--image-info", "fw.hex"}, image, error));
    EXPECT_EQ(image.mode, EFlashMode::kImageInfo);
    EXPECT_EQ(image.firmware, "fw.hex");
    ASSERT_TRUE(Parse({"127.0.0.1", "--help"}, help, error));
    EXPECT_EQ(help.mode, EFlashMode::kHelp);
}

}  // namespace

namespace {

// What users type from habit with other getopt tools.
TEST(FlashOptions, TakesTheUsualGetoptForms) {
    CFlashOptions o;
    std::string error;
    ASSERT_TRUE(Parse({"-re", "--port=7000", "-j2", "--attempts=3", "--", "127.0.0.1:7001",
                       "10.0.0.7", "-fw.hex"},
                      o, error))
        << error;
    EXPECT_TRUE(o.resetDefaults && o.extendedTimeout);
    EXPECT_EQ(o.jobs, 2);
    EXPECT_EQ(o.attempts, 3);
    EXPECT_EQ(o.firmware, "-fw.hex");  // after --, not an option
    ASSERT_EQ(o.targets.size(), 2u);
    EXPECT_EQ(o.targets[0].text, "127.0.0.1:7001");
    EXPECT_EQ(o.PortOf(o.targets[0]), 7001);
    EXPECT_EQ(o.targets[1].text, "10.0.0.7");
    EXPECT_EQ(o.PortOf(o.targets[1]), 7000);

    CFlashOptions shortPort;
    ASSERT_TRUE(Parse({"-p", "6969", "-q", "127.0.0.1", "fw.hex"}, shortPort, error)) << error;
    EXPECT_EQ(shortPort.port, 6969);
    EXPECT_TRUE(shortPort.quiet);

    CFlashOptions version;
    ASSERT_TRUE(Parse({"--version"}, version, error));
    EXPECT_EQ(version.mode, EFlashMode::kVersion);
    for (const char* bad : {"127.0.0.1:0", "127.0.0.1:", "127.0.0.1:70000", "127.0.0.1:x"}) {
        CFlashOptions o2;
        EXPECT_FALSE(Parse({bad, "fw.hex"}, o2, error)) << bad;
    }
}

std::string WriteTargets(const char* text) {
    CTempDir& dir = CTempDir::Shared();
    return dir.Write(dir.NewName(".txt"), text);
}

TEST(FlashOptions, ReadsATargetsFileAndNamesItsBadLine) {
    const std::string good =
        WriteTargets("# bench 3\n127.0.0.1:7001\n\n  10.0.0.7\t# no port\r\n   \n");
    CFlashOptions o;
    std::string error;
    ASSERT_TRUE(Parse({"127.0.0.2", "--targets", good.c_str(), "fw.hex"}, o, error)) << error;
    ASSERT_EQ(o.targets.size(), 3u);
    EXPECT_EQ(o.targets[0].text, "127.0.0.2");  // the command line's first
    EXPECT_EQ(o.targets[1].port, 7001);
    EXPECT_EQ(o.targets[2].text, "10.0.0.7");
    EXPECT_EQ(o.firmware, "fw.hex");

    const std::string bad = WriteTargets("127.0.0.1:7001\n# fine\n10.0.0.256\n");
    CFlashOptions o2;
    EXPECT_FALSE(Parse({"--targets", bad.c_str(), "fw.hex"}, o2, error));
    EXPECT_NE(error.find(bad + " line 3"), std::string::npos) << error;
    EXPECT_NE(error.find("10.0.0.256"), std::string::npos) << error;

    const std::string empty = WriteTargets("# nobody today\n");
    CFlashOptions o3;
    EXPECT_FALSE(Parse({"--targets", empty.c_str(), "fw.hex"}, o3, error));
    for (const std::string& path : {good, bad, empty}) ::unlink(path.c_str());
}

// Bounded: a long line or too many targets is named by its line, an endless file ends.
TEST(FlashOptions, ReadsATargetsFileWithABound) {
    const auto parse = [](const std::string& path, CFlashOptions& o, std::string& error) {
        return Parse({"--targets", path.c_str(), "fw.hex"}, o, error);
    };
    std::string error;
    const std::string fits = "127.0.0.1 #" + std::string(1024 - 11, 'x');
    const std::string longest = WriteTargets(("# a\n" + fits + "\r\n").c_str());
    CFlashOptions o;
    EXPECT_TRUE(parse(longest, o, error)) << error;
    const std::string tooLong = WriteTargets(("# a\n" + fits + "y\n").c_str());
    EXPECT_FALSE(parse(tooLong, o, error));
    EXPECT_EQ(error, FlashText::TargetsLineTooLong(tooLong, 2));

    std::string many = "# line\n";
    for (int i = 0; i < FlashText::kMostTargets; ++i)
        many += "10.0." + std::to_string(i / 256) + "." + std::to_string(i % 256) + "\n";
    const std::string most = WriteTargets(many.c_str());
    CFlashOptions all;
    EXPECT_TRUE(parse(most, all, error)) << error;
    EXPECT_EQ(all.targets.size(), 4096u);
    const std::string tooMany = WriteTargets((many + "10.1.0.0\n").c_str());
    CFlashOptions over;
    EXPECT_FALSE(parse(tooMany, over, error));
    EXPECT_EQ(error, FlashText::TooManyTargets(tooMany, 4098));

    const auto start = std::chrono::steady_clock::now();
    CFlashOptions zero;
    EXPECT_FALSE(parse("/dev/zero", zero, error));
    EXPECT_EQ(error, FlashText::TargetsLineTooLong("/dev/zero", 1));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    const std::string folder = CTempDir::Shared().Path();
    CFlashOptions dir;
    EXPECT_FALSE(parse(folder, dir, error));
    EXPECT_EQ(error, FlashText::CannotReadTargets(folder, std::strerror(EISDIR)));
    for (const std::string& path : {longest, tooLong, most, tooMany}) ::unlink(path.c_str());
}

// One unit twice, by address and port after defaults, is refused naming both places.
TEST(FlashOptions, RefusesAUnitGivenTwice) {
    const std::string file = WriteTargets("10.0.0.9\n\n127.0.0.2\n");
    const struct {
        std::vector<const char*> args;
        std::string expected;  // empty: accepted
    } cases[] = {
        {{"127.0.0.1", "127.0.0.1:69", "fw.hex"},
         FlashText::ListedTwice("127.0.0.1:69", "argument 1", "argument 2")},
        {{"--port", "7", "127.0.0.1:7", "-j", "2", "10.0.0.1", "127.0.0.1", "fw.hex"},
         FlashText::ListedTwice("127.0.0.1:7", "argument 3", "argument 7")},
        {{"-j", "2", "--", "127.0.0.1", "127.0.0.1", "fw.hex"},
         FlashText::ListedTwice("127.0.0.1:69", "argument 4", "argument 5")},
        {{"127.0.0.2:69", "--targets", file.c_str(), "fw.hex"},
         FlashText::ListedTwice("127.0.0.2:69", "argument 1", file + " line 3")},
        {{"127.0.0.1:70", "127.0.0.1", "127.0.0.2:70", "fw.hex"}, ""},
    };
    for (const auto& c : cases) {
        std::vector<const char*> argv{"quillon-flash"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        CFlashOptions o;
        std::string error;
        EXPECT_EQ(ParseFlashOptions(static_cast<int>(argv.size()), argv.data(), o, error),
                  c.expected.empty());
        EXPECT_EQ(error, c.expected);
    }
    ::unlink(file.c_str());
}

}  // namespace
