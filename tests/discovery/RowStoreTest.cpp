// The one row store's checks, and what the Copy commands make of its rows.
#include <gtest/gtest.h>

#include <string>

#include "core/DeviceRows.h"
#include "core/DisplayText.h"
#include "core/RowCopy.h"

namespace {

const std::string kHeaders = "Device\tMAC\tIP Address\tMessage\n";

TEST(DeviceRowStore, ChecksRowsSubItemsAndIconsAndReportsChanges) {
    CDeviceRowStore rows;
    EXPECT_EQ(rows.SetText(1, "x").number, kErrRowOutOfRange);
    EXPECT_EQ(rows.Append("A"), 1);
    EXPECT_EQ(rows.Append("B"), 2);
    std::string_view text;
    EXPECT_EQ(rows.SubItem(1, 4, &text).number, kErrSubItemOutOfRange);
    EXPECT_EQ(rows.SetSubItem(1, 0, "x").number, kErrSubItemOutOfRange) << "text is no sub-item";
    ASSERT_TRUE(rows.SubItem(2, 0, &text).Ok());
    EXPECT_EQ(text, "B");
    EXPECT_EQ(rows.SetIcon(1, "plus").number, kErrNoSuchImage);
    EXPECT_EQ(rows.Remove(3).number, kErrRowOutOfRange);

    bool changed = false;
    ASSERT_TRUE(rows.SetSubItem(1, 2, "10.0.0.1", &changed).Ok());
    EXPECT_TRUE(changed);
    ASSERT_TRUE(rows.SetSubItem(1, 2, "10.0.0.1", &changed).Ok());
    EXPECT_FALSE(changed);
    std::string key = "add";  // the row must not keep a view of the caller's text
    ASSERT_TRUE(rows.SetIcon(1, key, &changed).Ok());
    key = "xyz";
    EXPECT_EQ(rows.Row(1).icon, "add");

    ASSERT_TRUE(rows.Remove(1).Ok());
    EXPECT_EQ(rows.Count(), 1);
    EXPECT_EQ(rows.Row(1).text, "B");
}

TEST(RowCopy, AddressRowAndAllRowsLeaveThePlaceholderOut) {
    CDeviceRowStore rows;
    rows.SetTag(rows.Append("Scanning..."), kNoCountdown);
    std::string_view address;
    std::string text = "stale";
    EXPECT_FALSE(CopyableAddress(rows, 1, &address));
    EXPECT_FALSE(CopyRowText(rows, 1, &text));
    EXPECT_FALSE(CopyableAddress(rows, 0, &address)) << "nothing selected";
    CopyAllRowsText(rows, &text);
    EXPECT_EQ(text, kHeaders);

    rows.Clear();
    const int boiler = rows.Append("Boiler");
    rows.SetSubItem(boiler, 1, "00-04-A3-00-00-01");
    rows.SetSubItem(boiler, 2, "10.0.0.5");
    rows.SetSubItem(boiler, 3, "ready");
    rows.SetTag(boiler, 6);
    const int odd = rows.Append("Caf\xE9\tX");
    rows.SetSubItem(odd, 3, "line\r\nbreak \x80");
    rows.SetTag(odd, 0);

    ASSERT_TRUE(CopyableAddress(rows, boiler, &address));
    EXPECT_EQ(address, "10.0.0.5");
    EXPECT_FALSE(CopyableAddress(rows, odd, &address)) << "no address to copy";
    ASSERT_TRUE(CopyRowText(rows, boiler, &text));
    EXPECT_EQ(text, kHeaders + "Boiler\t00-04-A3-00-00-01\t10.0.0.5\tready\n");
    CopyAllRowsText(rows, &text);
    EXPECT_EQ(text, kHeaders + "Boiler\t00-04-A3-00-00-01\t10.0.0.5\tready\n" +
                        "Caf\u00E9\uFFFDX\t\t\tline\uFFFD\uFFFDbreak \u20AC\n")
        << "a tab or line break inside a cell never splits the table";
}

TEST(DisplayText, Utf8HasOneCharacterPerByte) {
    std::string out;
    AppendDisplayUtf8(std::string("A\0\xE9\x9F\x7F", 5), &out);
    EXPECT_EQ(out, "A\uFFFD\u00E9\u0178\uFFFD");
}

}  // namespace
