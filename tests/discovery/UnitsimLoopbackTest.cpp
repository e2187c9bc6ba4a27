// SPDX-License-Identifier: Apache-2.0
// The window's real listener against the simulated unit's announcer, over loopback only.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include "Announcer.h"
#include "RecordingLayer.h"
#include "qt/PelliskWindow.h"

namespace {

TEST(UnitsimLoopback, AnnouncingUnitIsListedRefreshedAndAgedOut) {
    CRecordingMessageBox box;
    CPelliskWindow window(0, &box);
    window.Load();
    window.show();
    const uint16_t port = window.Listener().LocalPort();
    ASSERT_NE(port, 0);
    CQtDeviceList& list = window.List();

    CAnnounceConfig config;
    config.message = "Bootloader on UDP port 6969";
    config.targetAddress = "127.0.0.1";
    config.targetPort = port;
    config.intervalMs = 100;
    CAnnouncer announcer(config);
    ASSERT_TRUE(announcer.Start());
    std::string_view name;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return list.RowText(1, &name).Ok() && name == "Tolvane Unit"; }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return announcer.Sent() >= 3; }, 5000));
    std::string_view cell;
    // A refresh after the first announce takes the add icon away.
    EXPECT_TRUE(QTest::qWaitFor([&] { return list.SmallIcon(1, &cell).Ok() && cell.empty(); },
                                5000));
    announcer.Stop();

    ASSERT_EQ(list.RowCount(), 1) << "one row however often the unit announces";
    ASSERT_TRUE(list.SubItem(1, 1, &cell).Ok());
    EXPECT_EQ(cell, "00-04-A3-12-34-56");
    ASSERT_TRUE(list.SubItem(1, 2, &cell).Ok());
    EXPECT_EQ(cell, "127.0.0.1");
    ASSERT_TRUE(list.SubItem(1, 3, &cell).Ok());
    EXPECT_EQ(cell, "Bootloader on UDP port 6969");
    ASSERT_TRUE(list.SmallIcon(1, &cell).Ok());
    EXPECT_EQ(cell, "") << "refreshed rows lose the add icon";

    // Silent now: the ticks take it away on the seventh.
    for (int tick = 0; tick < 7; ++tick) window.Logic().tmrTimeout_Timer();
    ASSERT_TRUE(list.RowText(1, &name).Ok());
    EXPECT_EQ(name, "Scanning...");
    EXPECT_TRUE(box.m_texts.empty());
}

}  // namespace
