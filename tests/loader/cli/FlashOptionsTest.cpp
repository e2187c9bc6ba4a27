#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "FlashOptions.h"
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

}  // namespace
