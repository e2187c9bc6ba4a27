// SPDX-License-Identifier: Apache-2.0
// The station's journal: what survives a kill, and what it becomes at the next start.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>

#include "Journal.h"
#include "RecordStore.h"
#include "TempDir.h"

namespace {

class CJournalTest : public testing::Test {
  protected:
    CFlashRecord Begun(const QString& id, const QString& mac) {
        CFlashRecord row;
        row.id = id;
        row.station = QStringLiteral("st");
        row.mac = mac;
        row.name = QStringLiteral("unit \"") + id + u'"';
        row.address = QStringLiteral("127.0.0.2");
        row.port = 69;
        row.firmware = QStringLiteral("app.hex");
        row.sha256 = QStringLiteral("ab").repeated(32);
        row.start = 0x9D000000u;
        row.length = 8192;
        row.crc = 0x1234;
        row.started = QDateTime::currentDateTimeUtc();
        return row;
    }
    static CFlashRecord Finished(CFlashRecord row) {
        row.ended = row.started.addMSecs(1500);
        row.outcome = QStringLiteral("verified");
        row.message = QStringLiteral("verified");
        row.bytes = 8192;
        row.attempts = 1;
        return row;
    }
    static QStringList Ids(const QVector<CFlashRecord>& rows) {
        QStringList ids;
        for (const CFlashRecord& row : rows) ids << row.id;
        return ids;
    }
    void OpenJournal(CJournal& journal) {
        QString error;
        ASSERT_TRUE(journal.Open(m_path, error)) << error.toStdString();
    }

    CTempDir m_dir;
    QString m_path = QString::fromStdString(m_dir.PathOf("state/journal-st.jsonl"));
    QString m_error;
};

TEST_F(CJournalTest, ATornLastLineIsIgnoredAndTheNextLineStartsClean) {
    {
        CJournal journal;
        OpenJournal(journal);
        ASSERT_TRUE(journal.Ended(Finished(Begun(QStringLiteral("a"), QStringLiteral("aa"))), m_error));
    }
    {
        // A kill in the middle of writing the next line.
        QFile file(m_path);
        ASSERT_TRUE(file.open(QIODevice::Append));
        file.write(R"({"op":"ended","id":"torn","station":"st","outcome":"verif)");
    }
    {
        CJournal journal;
        OpenJournal(journal);
        EXPECT_EQ(Ids(journal.Unwritten()), QStringList{QStringLiteral("a")});
        ASSERT_TRUE(journal.Ended(Finished(Begun(QStringLiteral("c"), QStringLiteral("cc"))), m_error));
    }
    CJournal journal;
    OpenJournal(journal);
    EXPECT_EQ(Ids(journal.Unwritten()), (QStringList{QStringLiteral("a"), QStringLiteral("c")}));
    EXPECT_EQ(journal.Unwritten()[1].name, QStringLiteral("unit \"c\""));
    QFile file(m_path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_FALSE(file.readAll().contains("torn"));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(m_path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST_F(CJournalTest, FlashesLeftByAKilledRunBecomeInterruptedWithTheLastStateSeen) {
    {
        CJournal journal;
        OpenJournal(journal);
        ASSERT_TRUE(journal.Begin(Begun(QStringLiteral("x"), QStringLiteral("xx")), m_error));
        ASSERT_TRUE(journal.State(QStringLiteral("x"), QStringLiteral("erasing"), 0, QString(), m_error));
        ASSERT_TRUE(journal.State(QStringLiteral("x"), QStringLiteral("programming"), 4096,
                                  QStringLiteral("Device bootloader v1.04"), m_error));
        ASSERT_TRUE(journal.Begin(Begun(QStringLiteral("y"), QStringLiteral("yy")), m_error));
        ASSERT_TRUE(journal.State(QStringLiteral("y"), QStringLiteral("connecting"), 0, QString(), m_error));
        ASSERT_TRUE(journal.Begin(Begun(QStringLiteral("z"), QStringLiteral("zz")), m_error));
        ASSERT_TRUE(journal.Ended(Finished(Begun(QStringLiteral("z"), QStringLiteral("zz"))), m_error));
        ASSERT_TRUE(journal.Written(QStringLiteral("z"), m_error));
    }
    {
        CJournal journal;
        OpenJournal(journal);
        EXPECT_TRUE(journal.Unwritten().isEmpty());
        // This run's own flash is in flight, not abandoned.
        ASSERT_TRUE(journal.Begin(Begun(QStringLiteral("w"), QStringLiteral("ww")), m_error));
        const QVector<CFlashRecord> rows = journal.TakeAbandoned();
        ASSERT_EQ(Ids(rows), (QStringList{QStringLiteral("x"), QStringLiteral("y")}));
        for (const CFlashRecord& row : rows) {
            EXPECT_EQ(row.outcome, QStringLiteral("interrupted"));
            EXPECT_TRUE(row.ended.isValid());
            EXPECT_NE(row.exit, 0);
        }
        EXPECT_TRUE(rows[0].message.contains(QStringLiteral("programming"))) << rows[0].message.toStdString();
        EXPECT_TRUE(rows[0].message.contains(QStringLiteral("partly programmed")));
        EXPECT_EQ(rows[0].bytes, 4096);
        EXPECT_EQ(rows[0].bootloader, QStringLiteral("Device bootloader v1.04"));
        EXPECT_EQ(rows[0].mac, QStringLiteral("xx"));
        EXPECT_EQ(rows[0].crc, 0x1234);
        EXPECT_TRUE(rows[1].message.contains(QStringLiteral("connecting"))) << rows[1].message.toStdString();
        EXPECT_TRUE(journal.TakeAbandoned().isEmpty());
        EXPECT_EQ(Ids(journal.Unwritten()), (QStringList{QStringLiteral("x"), QStringLiteral("y")}));
    }
    // Killed again before writing them: they are still owed, once, and w is now abandoned.
    CJournal journal;
    OpenJournal(journal);
    EXPECT_EQ(Ids(journal.Unwritten()), (QStringList{QStringLiteral("x"), QStringLiteral("y")}));
    EXPECT_EQ(Ids(journal.TakeAbandoned()), QStringList{QStringLiteral("w")});
}

TEST_F(CJournalTest, ARowReplayedAfterAKillIsWrittenOnce) {
    CRecordStore store;
    ASSERT_TRUE(store.Open(QString::fromStdString(m_dir.PathOf("state/records.sqlite")), m_error))
        << m_error.toStdString();
    const CFlashRecord row = Finished(Begun(QStringLiteral("r1"), QStringLiteral("00:11")));
    {
        CJournal journal;
        OpenJournal(journal);
        ASSERT_TRUE(journal.Ended(row, m_error));
        ASSERT_TRUE(store.Write(row, m_error)) << m_error.toStdString();
        // Killed before the journal heard that the row is in.
    }
    CJournal journal;
    OpenJournal(journal);
    for (const CFlashRecord& pending : journal.Unwritten()) {
        ASSERT_TRUE(store.Write(pending, m_error)) << m_error.toStdString();
        ASSERT_TRUE(journal.Written(pending.id, m_error));
    }
    QVector<CFlashRecord> rows;
    ASSERT_TRUE(store.Query({}, rows, m_error));
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].started, row.started);
    EXPECT_TRUE(journal.Unwritten().isEmpty());
}

TEST_F(CJournalTest, CompactKeepsOnlyWhatIsOwedOrInFlight) {
    {
        CJournal journal;
        OpenJournal(journal);
        for (int i = 0; i < 50; ++i) {
            const QString id = QStringLiteral("done%1").arg(i);
            ASSERT_TRUE(journal.Begin(Begun(id, QStringLiteral("m")), m_error));
            ASSERT_TRUE(journal.State(id, QStringLiteral("programming"), 100, QString(), m_error));
            ASSERT_TRUE(journal.Ended(Finished(Begun(id, QStringLiteral("m"))), m_error));
            ASSERT_TRUE(journal.Written(id, m_error));
        }
        ASSERT_TRUE(journal.Ended(Finished(Begun(QStringLiteral("owed"), QStringLiteral("o"))), m_error));
        ASSERT_TRUE(journal.Begin(Begun(QStringLiteral("flying"), QStringLiteral("f")), m_error));
        ASSERT_TRUE(journal.State(QStringLiteral("flying"), QStringLiteral("verifying"), 8192, QString(), m_error));
        const qint64 before = QFileInfo(m_path).size();
        ASSERT_TRUE(journal.Compact(m_error)) << m_error.toStdString();
        EXPECT_LT(QFileInfo(m_path).size() * 10, before);
        // Still appending to the compacted file.
        ASSERT_TRUE(journal.Ended(Finished(Begun(QStringLiteral("late"), QStringLiteral("l"))), m_error));
    }
    CJournal journal;
    OpenJournal(journal);
    EXPECT_EQ(Ids(journal.Unwritten()), (QStringList{QStringLiteral("owed"), QStringLiteral("late")}));
    const QVector<CFlashRecord> abandoned = journal.TakeAbandoned();
    ASSERT_EQ(Ids(abandoned), QStringList{QStringLiteral("flying")});
    EXPECT_TRUE(abandoned[0].message.contains(QStringLiteral("verifying")));
    EXPECT_FALSE(QFileInfo::exists(m_path + QStringLiteral(".new")));
}

}  // namespace
