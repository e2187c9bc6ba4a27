#include <gtest/gtest.h>

#include "FlashOptions.h"

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
    EXPECT_EQ(o.address[0], 127);
    EXPECT_EQ(o.address[3], 1);
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
