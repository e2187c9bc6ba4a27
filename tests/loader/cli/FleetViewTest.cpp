// SPDX-License-Identifier: Apache-2.0
// The JSON that units and the parent speak, and the board a terminal shows, in-process.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "FleetView.h"
#include "JsonText.h"
#include "Targets.h"
#include "UnitReports.h"

namespace {

std::string Line(const std::string& text) {
    CJsonFields fields;
    EXPECT_TRUE(ParseJsonObject(CJsonObject().Add("line", text).Text(), fields));
    const CJsonValue* line = FindJson(fields, "line");
    return line ? line->text : "(none)";
}

TEST(JsonText, EscapesWhatAUnitMaySendAndReadsItBack) {
    // Controls and the quote characters escaped, valid UTF-8 as is.
    const std::string mixed =
        "a\"b\\c\n\t\r\x01\x1f\x7f end \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80";
    std::string out;
    AppendJsonString(out, mixed);
    EXPECT_EQ(out,
              "\"a\\\"b\\\\c\\u000A\\u0009\\u000D\\u0001\\u001F\\u007F end \xC3\xA9 "
              "\xE2\x82\xAC \xF0\x9F\x98\x80\"");
    EXPECT_EQ(Line(mixed), mixed);

    // Stray, cut, overlong and surrogate bytes each become the character of that byte.
    const std::string invalid = "\xFF|\xC3|\xC0\xAF|\xED\xA0\x80|\xF4\x90\x80\x80";
    out.clear();
    AppendJsonString(out, invalid);
    for (const unsigned char c : out) EXPECT_LT(c, 0x80) << out;  // no raw byte got through
    EXPECT_EQ(Line(invalid),
              "\xC3\xBF|\xC3\x83|\xC3\x80\xC2\xAF|\xC3\xAD\xC2\xA0\xC2\x80|"
              "\xC3\xB4\xC2\x90\xC2\x80\xC2\x80");
}

// The parent reads its units' lines back; anything else is not taken for an event.
TEST(JsonText, ReadsOnlyWholeFlatObjects) {
    CJsonFields fields;
    ASSERT_TRUE(ParseJsonObject(R"( {"t": 1.5e0, "ok": true, "s": "\/\u00e9"} )", fields));
    EXPECT_EQ(FindJson(fields, "t")->number, 1.5);
    EXPECT_TRUE(FindJson(fields, "ok")->flag);
    EXPECT_EQ(FindJson(fields, "s")->text, "/\xC3\xA9");
    for (const char* bad : {"", "{", "[1]", R"({"a":1,})", R"({"a":1} x)", R"({"a":{}})",
                            R"({"a":"b)", R"({"a":+1})", "{\"a\":\"\x01\"}", R"({"a":tru})"})
        EXPECT_FALSE(ParseJsonObject(bad, fields)) << bad;
    // Times to the millisecond, and never NaN, which JSON has no word for.
    EXPECT_EQ(CJsonObject().Add("t", 1.23456).Add("u", std::nan("")).Text(),
              R"({"t":1.235,"u":0.000})");
}

std::vector<CTarget> Targets(std::initializer_list<const char*> texts) {
    std::vector<CTarget> targets;
    for (const char* text : texts) {
        targets.emplace_back();
        EXPECT_TRUE(ParseTarget(text, targets.back())) << text;
    }
    return targets;
}

void Feed(CBoardFleetView& view, size_t index, const std::string& line) {
    CJsonFields fields;
    ASSERT_TRUE(ParseJsonObject(line, fields)) << line;
    view.OnEvent(index, line, fields);
}

TEST(FleetView, LiveLinesShowStageBarPercentAndTime) {
    const std::vector<CTarget> targets = Targets({"10.0.0.7", "127.0.0.1:6969", "10.0.0.9"});
    CBoardFleetView board(targets);
    Feed(board, 0, R"({"unit":"10.0.0.7","event":"log","time":0.5,"line":"Connected."})");
    Feed(board, 0,
         R"({"unit":"10.0.0.7","event":"progress","time":1.0,"stage":"programming",)"
         R"("done":16384,"total":65536})");
    Feed(board, 1, R"({"unit":"127.0.0.1:6969","event":"log","time":0.2,"line":"x"})");
    Feed(board, 1,
         R"({"unit":"127.0.0.1:6969","event":"progress","time":2.2,"stage":"done",)"
         R"("done":1024,"total":1024})");
    CUnitResult done;
    done.ok = true;
    board.OnResult(1, 2.2, done, std::string());
    // The elapsed time runs from a unit's first event to its result.
    EXPECT_EQ(board.LiveLine(0, 3.0),
              "10.0.0.7        programming [#####...............]  25%    2.5 s");
    EXPECT_EQ(board.LiveLine(1, 9.0),
              "127.0.0.1:6969  done        [####################] 100%    2.0 s");
    EXPECT_EQ(board.LiveLine(2, 9.0),
              "10.0.0.9        waiting     [....................]   0%    0.0 s");
}

TEST(FleetView, SummaryTableHasAnAlignedRowPerTarget) {
    const std::vector<CTarget> targets = Targets({"10.0.0.7", "127.0.0.1:6969"});
    std::vector<CUnitResult> results(2);
    results[0].ok = true;
    results[0].bytes = 65536;
    results[0].seconds = 1.94;
    results[1].exit = 1;
    results[1].message = "no response from 127.0.0.1:6969";
    std::istringstream table(CBoardFleetView::SummaryTable(targets, results));
    std::vector<std::string> rows;
    for (std::string row; std::getline(table, row);) rows.push_back(row);
    ASSERT_EQ(rows.size(), 3u);
    for (const std::string& row : rows) EXPECT_EQ(row.size(), rows[0].size()) << row;
    EXPECT_EQ(rows[0].find("TARGET"), 0u);
    EXPECT_EQ(rows[1].find("10.0.0.7        verified"), 0u) << rows[1];
    EXPECT_NE(rows[1].find("65,536      1.9     0"), std::string::npos) << rows[1];
    EXPECT_EQ(rows[2].find("127.0.0.1:6969  no response from 127.0.0.1:6969"), 0u) << rows[2];
    EXPECT_EQ(rows[2].substr(rows[2].size() - 2), " 1");
}

}  // namespace
