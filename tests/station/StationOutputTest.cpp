// SPDX-License-Identifier: Apache-2.0
// What the station writes: human lines safe for a terminal whatever a unit announced, and JSON
// Lines that are whole lines of valid JSON.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <string>

#include "StationOutput.h"

namespace {

std::string Drain(int fd) {
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) return text;
        text.append(buffer, static_cast<size_t>(n));
    }
}

}  // namespace

TEST(StationOutput, AnnouncedTextCannotSteerTheTerminal) {
    EXPECT_EQ(PrintableText(QStringLiteral("Line-1")), QStringLiteral("Line-1"));
    EXPECT_EQ(PrintableText(QString::fromUtf8("a\x1b[2Jb\r\nc\x7f\xc2\x9b")),
              QStringLiteral("a\\x1b[2Jb\\x0d\\x0ac\\x7f\\x9b"));
    EXPECT_EQ(PrintableText(QString::fromUtf8("Zürich <b>")), QString::fromUtf8("Zürich <b>"));
}

TEST(StationOutput, LinesGoToStderrAndEventsOnlyWithJson) {
    int out[2], err[2];
    ASSERT_EQ(::pipe(out), 0);
    ASSERT_EQ(::pipe(err), 0);
    {
        CStationOutput quiet(false, out[1], err[1]);
        quiet.Line(QStringLiteral("unit\x1b]0;x\x07 verified"));
        quiet.Event(QJsonObject{{QStringLiteral("event"), QStringLiteral("skip")}});
        CStationOutput json(true, out[1], err[1]);
        QJsonObject event{{QStringLiteral("event"), QStringLiteral("skip")},
                          {QStringLiteral("name"), QStringLiteral("a\nb\"c")}};
        json.Event(event);
    }
    ::close(out[1]);
    ::close(err[1]);
    EXPECT_EQ(Drain(err[0]), "quillon-station: unit\\x1b]0;x\\x07 verified\n");
    const std::string lines = Drain(out[0]);
    ASSERT_EQ(std::count(lines.begin(), lines.end(), '\n'), 1) << lines;
    const QJsonObject parsed =
        QJsonDocument::fromJson(QByteArray::fromStdString(lines)).object();
    EXPECT_EQ(parsed.value(QStringLiteral("name")).toString(), QStringLiteral("a\nb\"c"));
    EXPECT_GE(parsed.value(QStringLiteral("time")).toDouble(-1), 0.0);
    ::close(out[0]);
    ::close(err[0]);
}
