// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <vector>

#include "StationOptions.h"

namespace {

bool Parse(std::vector<const char*> args, CStationOptions& options, QString& error) {
    args.insert(args.begin(), "quillon-station");
    return ParseStationOptions(static_cast<int>(args.size()), args.data(), options, error);
}

}  // namespace

TEST(StationOptions, RefusesToStartWithoutAFilterUnlessAny) {
    CStationOptions options;
    QString error;
    EXPECT_FALSE(Parse({"fw.hex"}, options, error));
    EXPECT_TRUE(error.contains(QStringLiteral("--any"))) << error.toStdString();
    CStationOptions any;
    EXPECT_TRUE(Parse({"--any", "fw.hex"}, any, error));
    CStationOptions filtered;
    ASSERT_TRUE(Parse({"--mac", "00:04", "--mac", "aa", "--name", "Line-*", "fw.hex"}, filtered, error));
    EXPECT_EQ(filtered.macs, (QStringList{QStringLiteral("00:04"), QStringLiteral("aa")}));
    EXPECT_EQ(filtered.nameGlob, QStringLiteral("Line-*"));
}

TEST(StationOptions, DefaultsAndPassedOnOptions) {
    CStationOptions options;
    QString error;
    ASSERT_TRUE(Parse({"--any", "-a", "3", "--program-tries", "7", "-r", "-e", "fw.hex"}, options, error));
    EXPECT_EQ(options.announcePort, 30303);
    EXPECT_EQ(options.port, 69);
    EXPECT_EQ(options.jobs, 8);
    EXPECT_EQ(options.retryAfterSeconds, 30);
    EXPECT_EQ(options.maxFailures, 3);
    EXPECT_EQ(options.leaseSeconds, 120);
    EXPECT_EQ(options.http, QStringLiteral("127.0.0.1:8080"));
    EXPECT_FALSE(options.station.isEmpty()) << "the host name by default";
    EXPECT_EQ(options.attempts, 3);
    EXPECT_EQ(options.programTries, 7);
    EXPECT_TRUE(options.resetDefaults && options.extendedTimeout);
}

TEST(StationOptions, BadValuesAreUsageErrors) {
    const std::vector<std::vector<const char*>> bad = {
        {"--any"},
        {"--any", "a.hex", "b.hex"},
        {"--any", "--jobs", "0", "fw.hex"},
        {"--any", "--jobs", "65", "fw.hex"},
        {"--any", "--port", "0", "fw.hex"},
        {"--any", "--announce-port", "70000", "fw.hex"},
        {"--any", "--max-failures", "x", "fw.hex"},
        {"--any", "--lease", "1", "fw.hex"},
        {"--any", "--station", "", "fw.hex"},
        {"--any", "--http", "localhost", "fw.hex"},
        {"--any", "--http", "example.org:80", "fw.hex"},
        {"--any", "--http", "0.0.0.0:8080", "fw.hex"},  // beyond loopback without a token
        {"--any", "--bogus", "fw.hex"},
    };
    for (const auto& args : bad) {
        CStationOptions options;
        QString error;
        EXPECT_FALSE(Parse(args, options, error)) << args[1];
        EXPECT_FALSE(error.isEmpty());
    }
    CStationOptions options;
    QString error;
    EXPECT_TRUE(Parse({"--any", "--http", "0.0.0.0:8080", "--http-token-file", "t", "fw.hex"}, options, error));
    EXPECT_TRUE(Parse({"--any", "--http", "off", "fw.hex"}, options, error));
}
