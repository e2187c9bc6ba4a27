// SPDX-License-Identifier: Apache-2.0
// The station's decision per announce, against a record in memory and a clock given by the test.
#include <gtest/gtest.h>

#include <QMap>

#include "FlashScheduler.h"

namespace {

class CMemoryHistory : public IUnitHistorySource {
  public:
    bool History(const QString& mac, const QString& sha256, CUnitHistory& history,
                 QString& error) override {
        ++asked;
        if (down) {
            error = QStringLiteral("connection refused");
            return false;
        }
        history = units.value(mac + QLatin1Char('/') + sha256);
        return true;
    }
    QMap<QString, CUnitHistory> units;  // "mac/sha"
    bool down = false;
    int asked = 0;
};

const QDateTime kNow = QDateTime::fromString(QStringLiteral("2026-12-08T12:00:00Z"), Qt::ISODate);

class FlashSchedulerTest : public ::testing::Test {
  protected:
    CFlashScheduler Make(CSchedulePolicy policy = {2, 30, 3}, QStringList macs = {},
                         QString glob = {}) {
        CFlashScheduler scheduler(policy, CUnitFilter(std::move(macs), glob), m_history);
        scheduler.SetFirmware(QStringLiteral("aaaa"));
        return scheduler;
    }
    CMemoryHistory m_history;
};

}  // namespace

TEST_F(FlashSchedulerTest, FilterByMacPrefixAndNameGlobNeverAsksTheRecordForOthers) {
    CFlashScheduler scheduler = Make({8, 30, 3}, {QStringLiteral("00:04:a3"), QStringLiteral("aabb")},
                                     QStringLiteral("Line-?"));
    EXPECT_EQ(scheduler.Consider(QStringLiteral("00-04-A3-12-34-56"), "Line-1", kNow).what, EVerdict::kStart);
    EXPECT_EQ(scheduler.Consider(QStringLiteral("AA.BB.CC.00.00.01"), "Line-2", kNow).what, EVerdict::kStart);
    EXPECT_EQ(scheduler.Consider(QStringLiteral("00-04-A3-12-34-56"), "Line-12", kNow).what, EVerdict::kIgnore);
    EXPECT_EQ(scheduler.Consider(QStringLiteral("00-04-A4-12-34-56"), "Line-1", kNow).what, EVerdict::kIgnore);
    EXPECT_EQ(scheduler.Consider(QStringLiteral("0004"), "Line-1", kNow).what, EVerdict::kIgnore);
    EXPECT_EQ(m_history.asked, 2);
}

TEST_F(FlashSchedulerTest, RunningUnitsAnnouncesChangeNothingAndJobsBoundTheStarts) {
    CFlashScheduler scheduler = Make();
    const QString a = QStringLiteral("00-00-00-00-00-01"), b = QStringLiteral("00-00-00-00-00-02"),
                  c = QStringLiteral("00-00-00-00-00-03");
    ASSERT_EQ(scheduler.Consider(a, "u", kNow).what, EVerdict::kStart);
    scheduler.NoteStarted(a);
    EXPECT_EQ(scheduler.Consider(a, "u", kNow).what, EVerdict::kNothing);
    scheduler.NoteStarted(b);
    const int asked = m_history.asked;
    EXPECT_EQ(scheduler.Consider(c, "u", kNow).what, EVerdict::kQueue);
    EXPECT_EQ(m_history.asked, asked) << "a full station does not ask the record";
    scheduler.NoteEnded(b, false);
    EXPECT_EQ(scheduler.Consider(c, "u", kNow).what, EVerdict::kStart);
}

TEST_F(FlashSchedulerTest, VerifiedIsRememberedPerFirmware) {
    CFlashScheduler scheduler = Make();
    const QString mac = QStringLiteral("00-00-00-00-00-01");
    m_history.units[mac + QStringLiteral("/aaaa")].verified = true;
    EXPECT_EQ(scheduler.Consider(mac, "u", kNow).what, EVerdict::kSkip);
    const int asked = m_history.asked;
    m_history.down = true;  // remembered: no question, so no error either
    EXPECT_EQ(scheduler.Consider(mac, "u", kNow).reason, QStringLiteral("verified"));
    EXPECT_EQ(m_history.asked, asked);
    m_history.down = false;
    scheduler.SetFirmware(QStringLiteral("bbbb"));
    EXPECT_EQ(scheduler.Consider(mac, "u", kNow).what, EVerdict::kStart);
    scheduler.NoteStarted(mac);
    scheduler.NoteEnded(mac, true);
    EXPECT_EQ(scheduler.Consider(mac, "u", kNow).what, EVerdict::kSkip);
}

TEST_F(FlashSchedulerTest, FailuresWaitRetryAfterAndMaxFailuresNeedsAttention) {
    CFlashScheduler scheduler = Make({8, 30, 3});
    const QString mac = QStringLiteral("00-00-00-00-00-01");
    CUnitHistory& history = m_history.units[mac + QStringLiteral("/aaaa")];
    history.failures = 1;
    history.lastFailure = kNow.addSecs(-10);
    EXPECT_EQ(scheduler.Consider(mac, "u", kNow).what, EVerdict::kSkip);
    EXPECT_EQ(scheduler.Consider(mac, "u", kNow.addSecs(19)).what, EVerdict::kSkip);
    EXPECT_EQ(scheduler.Consider(mac, "u", kNow.addSecs(20)).what, EVerdict::kStart);
    history.failures = 3;
    const CVerdict attention = scheduler.Consider(mac, "u", kNow.addSecs(3600));
    EXPECT_EQ(attention.what, EVerdict::kAttention);
    EXPECT_EQ(attention.failures, 3);
}

TEST_F(FlashSchedulerTest, StoppingAndDatabaseAwayHoldNewStartsAndErrorsAreReported) {
    CFlashScheduler scheduler = Make();
    const QString mac = QStringLiteral("00-00-00-00-00-01");
    scheduler.SetDatabaseDown(true);
    EXPECT_EQ(scheduler.Consider(mac, "u", kNow).what, EVerdict::kHold);
    scheduler.SetDatabaseDown(false);
    scheduler.SetStopping(true);
    EXPECT_EQ(scheduler.Consider(mac, "u", kNow).what, EVerdict::kHold);
    scheduler.SetStopping(false);
    m_history.down = true;
    const CVerdict error = scheduler.Consider(mac, "u", kNow);
    EXPECT_EQ(error.what, EVerdict::kError);
    EXPECT_EQ(error.reason, QStringLiteral("connection refused"));
}
