// SPDX-License-Identifier: Apache-2.0
// The one row store's checks, and what the Copy commands make of its rows.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

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

// The store against the plainest list that could do its job: every row in a vector, found and
// chosen by reading them all. Few MACs in mixed case make duplicates and long probe runs; a list
// that grows far past its usual size makes the index and the row ring grow.
class CPlainRows {
  public:
    struct CRow {
        std::string mac;
        int tag = 0;
        int heard = 0;
        long lastHeard = 0;
    };

    int Find(std::string_view mac) const {
        for (std::size_t i = 0; i < m_rows.size(); ++i) {
            if (m_rows[i].tag != kNoCountdown && EqualIgnoringAsciiCase(m_rows[i].mac, mac)) {
                return static_cast<int>(i) + 1;
            }
        }
        return 0;
    }
    int Victim() const {
        for (const int wanted : {1, 2}) {
            int victim = 0;
            for (std::size_t i = 0; i < m_rows.size(); ++i) {
                const CRow& row = m_rows[i];
                if (std::min(row.heard, 2) != wanted) continue;
                if (victim == 0 || row.lastHeard < m_rows[std::size_t(victim - 1)].lastHeard) {
                    victim = static_cast<int>(i) + 1;
                }
            }
            if (victim != 0) return victim;
        }
        int victim = 0;
        for (std::size_t i = 0; i < m_rows.size(); ++i) {
            if (m_rows[i].tag == kNoCountdown) continue;
            if (victim == 0 || m_rows[i].tag < m_rows[std::size_t(victim - 1)].tag) {
                victim = static_cast<int>(i) + 1;
            }
        }
        return victim;
    }

    std::vector<CRow> m_rows;
};

TEST(DeviceRowStore, FindsAndChoosesRowsAsReadingEveryRowWould) {
    std::mt19937 random(20261208);
    const auto below = [&](int bound) {
        return static_cast<int>(random() % static_cast<unsigned>(bound));
    };
    const auto someMac = [&] {
        std::string mac = "0a-bc-" + std::to_string(below(60));
        for (char& c : mac) {
            if (below(2) == 0) c = UpperAscii(c);
        }
        return mac;
    };
    CDeviceRowStore rows;
    CPlainRows plain;
    long clock = 0;
    for (int step = 0; step < 30000; ++step) {
        const int count = rows.Count();
        // Long stretches of growth take the list to about 2,000 rows, then it shrinks again.
        const int growth = (step / 3000) % 2 == 0 ? 6 : 3;
        const int action = below(10);
        if (count == 0 || action < growth) {
            const int row = rows.Append("unit");
            const std::string mac = someMac();
            ASSERT_TRUE(rows.SetSubItem(row, 1, mac).Ok());
            const int tag = below(20) == 0 ? kNoCountdown : below(7);
            ASSERT_TRUE(rows.SetTag(row, tag).Ok());
            plain.m_rows.push_back({mac, tag});
        } else if (action < 7) {
            const int row = 1 + below(count);
            ASSERT_TRUE(rows.Remove(row).Ok());
            plain.m_rows.erase(plain.m_rows.begin() + (row - 1));
        } else if (action < 9) {
            const int row = 1 + below(count);
            ASSERT_TRUE(rows.MarkHeard(row).Ok());
            CPlainRows::CRow& heard = plain.m_rows[std::size_t(row - 1)];
            ++heard.heard;
            heard.lastHeard = ++clock;
        } else if (below(200) == 0) {
            rows.Clear();
            plain.m_rows.clear();
        } else {
            const int row = 1 + below(count);
            const std::string mac = someMac();
            ASSERT_TRUE(rows.SetSubItem(row, 1, mac).Ok());
            plain.m_rows[std::size_t(row - 1)].mac = mac;
        }
        ASSERT_EQ(rows.Count(), static_cast<int>(plain.m_rows.size()));
        if (step % 97 == 0) {
            for (int row = 1; row <= rows.Count(); ++row) {
                ASSERT_EQ(rows.Row(row).subItems[0], plain.m_rows[std::size_t(row - 1)].mac)
                    << "step " << step << ", row " << row;
            }
        }
        for (int probe = 0; probe < 3; ++probe) {
            const std::string mac = someMac();
            ASSERT_EQ(rows.FindDevice(mac), plain.Find(mac)) << "step " << step << ", " << mac;
        }
        ASSERT_EQ(rows.EvictionCandidate(), plain.Victim()) << "step " << step;
    }
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
