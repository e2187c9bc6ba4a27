// SPDX-License-Identifier: Apache-2.0
// The record on SQLite and on a real PostgreSQL, through the same cases.
#include <sys/stat.h>

#include <QDir>
#include <QFileInfo>

#include "RecordSchema.h"
#include "StoreRig.h"

namespace {

using CRecordStoreTest = CStoreRig;

TEST_P(CRecordStoreTest, OlderSchemaIsUpgradedAndANewerOneRefused) {
    {
        // The record as its first version left it, with a row in it.
        QSqlDatabase db = RawDatabase();
        ExecRaw(db, QStringLiteral("CREATE TABLE schema (version INTEGER NOT NULL)"));
        ExecRaw(db, QStringLiteral("INSERT INTO schema (version) VALUES (1)"));
        for (const QString& sql : SchemaStep(1, GetParam() == EBackend::kPostgres)) ExecRaw(db, sql);
        ExecRaw(db, QStringLiteral(
                        "INSERT INTO records (id, station, mac, name, address, port, bootloader, firmware, sha256, "
                        "start, length, crc, started, ended, outcome, exit, message, bytes, attempts) VALUES "
                        "('old', 's', 'aa:bb', 'n', '127.0.0.2', 69, 'v', 'f.hex', 'ff', 0, 1, 2, "
                        "'2025-01-01T00:00:00.000Z', '2025-01-01T00:00:01.000Z', 'verified', 0, 'm', 1, 1)"));
        EXPECT_EQ(ScalarRaw(db, QStringLiteral("SELECT COUNT(*) FROM records")).toInt(), 1);
        db.close();
    }
    {
        CRecordStore store;
        OpenStore(store);
        QString error, holder;
        // The claims came with version 2.
        EXPECT_EQ(store.Claim(QStringLiteral("aa:bb"), QStringLiteral("s"), 60, &holder, error), EClaim::kTaken)
            << error.toStdString();
        QVector<CFlashRecord> rows;
        ASSERT_TRUE(store.Query({}, rows, error)) << error.toStdString();
        ASSERT_EQ(rows.size(), 1);
        EXPECT_EQ(rows[0].id, QStringLiteral("old"));
        EXPECT_EQ(rows[0].ended, QDateTime(QDate(2025, 1, 1), QTime(0, 0, 1), Qt::UTC));
    }
    QSqlDatabase db = RawDatabase();
    EXPECT_EQ(ScalarRaw(db, QStringLiteral("SELECT MAX(version) FROM schema")).toInt(), kSchemaVersion);
    EXPECT_EQ(ScalarRaw(db, QStringLiteral("SELECT COUNT(*) FROM schema")).toInt(), 1);
    // A record from a later program is not guessed at.
    ExecRaw(db, QStringLiteral("UPDATE schema SET version = 99"));
    db.close();
    CRecordStore store;
    QString error;
    EXPECT_FALSE(store.Open(m_target, error));
    EXPECT_TRUE(error.contains(QStringLiteral("newer"))) << error.toStdString();
    EXPECT_FALSE(store.IsOpen());
}

TEST_P(CRecordStoreTest, RowsComeBackWholeWithMillisecondsAndAReplayIsWrittenOnce) {
    CRecordStore store;
    OpenStore(store);
    // Opening again finds the schema in place.
    OpenStore(store);
    CFlashRecord row = Row(7, QStringLiteral("00:1A:2B:3C:4D:5E"));
    row.port = 6969;
    row.start = 0xFFFFFFFFu;
    row.length = 0x80000000u;
    row.crc = 0xFFFF;
    row.exit = 130;
    row.bytes = 5LL * 1024 * 1024 * 1024;
    row.attempts = 3;
    row.started = QDateTime(QDate(2026, 12, 8), QTime(23, 59, 59, 999), Qt::UTC);
    row.ended = row.started.addMSecs(1);
    QString error;
    ASSERT_TRUE(store.Write(row, error)) << error.toStdString();
    ASSERT_TRUE(store.Write(row, error)) << error.toStdString();

    QVector<CFlashRecord> rows;
    ASSERT_TRUE(store.Query({}, rows, error)) << error.toStdString();
    ASSERT_EQ(rows.size(), 1);
    const CFlashRecord& back = rows[0];
    EXPECT_EQ(back.id, row.id);
    EXPECT_EQ(back.station, row.station);
    EXPECT_EQ(back.mac, row.mac);
    EXPECT_EQ(back.name, row.name);
    EXPECT_EQ(back.address, row.address);
    EXPECT_EQ(back.port, row.port);
    EXPECT_EQ(back.bootloader, row.bootloader);
    EXPECT_EQ(back.firmware, row.firmware);
    EXPECT_EQ(back.sha256, row.sha256);
    EXPECT_EQ(back.start, row.start);
    EXPECT_EQ(back.length, row.length);
    EXPECT_EQ(back.crc, row.crc);
    EXPECT_EQ(back.started, row.started);
    EXPECT_EQ(back.ended, row.ended);
    EXPECT_EQ(back.ended.time().msec(), 0);
    EXPECT_EQ(back.started.time().msec(), 999);
    EXPECT_EQ(back.outcome, row.outcome);
    EXPECT_EQ(back.exit, row.exit);
    EXPECT_EQ(back.message, row.message);
    EXPECT_EQ(back.bytes, row.bytes);
    EXPECT_EQ(back.attempts, row.attempts);

    // A hand-made flash of a unit that never answered: no MAC, no version line, no end time.
    CFlashRecord bare;
    bare.id = QStringLiteral("bare");
    bare.started = row.started;
    ASSERT_TRUE(store.Write(bare, error)) << error.toStdString();
    ASSERT_TRUE(store.Query({}, rows, error)) << error.toStdString();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_TRUE(rows[1].mac.isEmpty());
    EXPECT_TRUE(rows[1].bootloader.isEmpty());
    EXPECT_FALSE(rows[1].ended.isValid());
}

TEST_P(CRecordStoreTest, HostileTextIsOnlyText) {
    CRecordStore store;
    OpenStore(store);
    const QString hostile = QStringLiteral("'); DROP TABLE records; --");
    CFlashRecord row = Row(1, hostile);
    row.name = hostile;
    row.message = QStringLiteral("\" OR 1=1 -- :mac $1 ? \\ %_ \n\t\u00e9\u4e2d");
    row.station = QStringLiteral("st'ation");
    row.id = hostile;
    QString error, holder;
    EXPECT_EQ(store.Claim(hostile, row.station, 60, &holder, error), EClaim::kTaken) << error.toStdString();
    ASSERT_TRUE(store.Write(row, error)) << error.toStdString();
    ASSERT_TRUE(store.Write(Row(2, QStringLiteral("aa:bb:cc:00:00:01")), error)) << error.toStdString();

    QVector<CFlashRecord> rows;
    CRecordFilter filter;
    filter.mac = hostile;
    ASSERT_TRUE(store.Query(filter, rows, error)) << error.toStdString();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].name, hostile);
    EXPECT_EQ(rows[0].message, row.message);
    EXPECT_EQ(rows[0].station, row.station);
    filter.mac = QStringLiteral("%");
    ASSERT_TRUE(store.Query(filter, rows, error)) << error.toStdString();
    EXPECT_TRUE(rows.isEmpty());
    filter = {};
    filter.firmware = hostile;
    ASSERT_TRUE(store.Query(filter, rows, error)) << error.toStdString();
    EXPECT_TRUE(rows.isEmpty());
    ASSERT_TRUE(store.Query({}, rows, error)) << error.toStdString();
    EXPECT_EQ(rows.size(), 2);
    bool verified = false;
    ASSERT_TRUE(store.HasVerified(hostile, row.sha256, verified, error));
    EXPECT_TRUE(verified);
    // The claim went with the row.
    EXPECT_EQ(store.Claim(hostile, QStringLiteral("other"), 60, &holder, error), EClaim::kTaken);
}

TEST_P(CRecordStoreTest, OneStationHoldsAClaimUntilItsRowOrItsLeaseEnds) {
    CRecordStore a, b;
    OpenStore(a);
    OpenStore(b);
    const QString mac = QStringLiteral("00:1a:2b:3c:4d:5e");
    const QString stationA = QStringLiteral("station-a"), stationB = QStringLiteral("station-b");
    QString error, holder;
    EXPECT_EQ(a.Claim(mac, stationA, 60, &holder, error), EClaim::kTaken) << error.toStdString();
    EXPECT_EQ(b.Claim(mac, stationB, 60, &holder, error), EClaim::kHeldByOther) << error.toStdString();
    EXPECT_EQ(holder, stationA);
    // Its own claim again: renewed, not refused.
    EXPECT_EQ(a.Claim(mac, stationA, 60, &holder, error), EClaim::kTaken);

    // A row for another unit, or by another station, leaves the claim standing.
    CFlashRecord other = Row(1, QStringLiteral("00:1a:2b:3c:4d:5f"));
    ASSERT_TRUE(a.Write(other, error)) << error.toStdString();
    CFlashRecord byB = Row(2, mac);
    byB.station = stationB;
    ASSERT_TRUE(b.Write(byB, error)) << error.toStdString();
    EXPECT_EQ(b.Claim(mac, stationB, 60, &holder, error), EClaim::kHeldByOther);
    // A's row gives it back.
    CFlashRecord byA = Row(3, mac);
    ASSERT_TRUE(a.Write(byA, error)) << error.toStdString();
    EXPECT_EQ(b.Claim(mac, stationB, 60, &holder, error), EClaim::kTaken);

    // A lease that ended (a dead station) is taken over; a renewed one is not.
    const QString mac2 = QStringLiteral("00:1a:2b:3c:4d:60"), mac3 = QStringLiteral("00:1a:2b:3c:4d:61");
    EXPECT_EQ(a.Claim(mac2, stationA, -5, &holder, error), EClaim::kTaken);
    EXPECT_EQ(a.Claim(mac3, stationA, -5, &holder, error), EClaim::kTaken);
    EXPECT_EQ(b.Claim(mac2, stationB, 60, &holder, error), EClaim::kTaken);
    EXPECT_EQ(a.Claim(mac2, stationA, 60, &holder, error), EClaim::kHeldByOther);
    EXPECT_EQ(holder, stationB);
    ASSERT_TRUE(a.Renew(stationA, 60, error)) << error.toStdString();
    EXPECT_EQ(b.Claim(mac3, stationB, 60, &holder, error), EClaim::kHeldByOther);
    // Renewing touches only A's own claims: B's stays B's.
    EXPECT_EQ(a.Claim(mac2, stationA, 60, &holder, error), EClaim::kHeldByOther);
    // A restarting station drops what it held.
    ASSERT_TRUE(a.ReleaseAll(stationA, error)) << error.toStdString();
    EXPECT_EQ(b.Claim(mac3, stationB, 60, &holder, error), EClaim::kTaken);
}

// A refusal raised inside the database whenever table is changed by statement.
void RefuseChanges(QSqlDatabase& db, bool postgres, const QString& table, const QString& statement) {
    if (postgres) {
        CStoreRig::ExecRaw(db, QStringLiteral("CREATE OR REPLACE FUNCTION refuse() RETURNS trigger AS "
                                              "'BEGIN RAISE EXCEPTION ''disk on fire''; END' LANGUAGE plpgsql"));
        CStoreRig::ExecRaw(db, QStringLiteral("CREATE TRIGGER refuse_%1 BEFORE %2 ON %1 FOR EACH ROW "
                                              "EXECUTE FUNCTION refuse()")
                                   .arg(table, statement));
    } else {
        CStoreRig::ExecRaw(db, QStringLiteral("CREATE TRIGGER refuse_%1 BEFORE %2 ON %1 BEGIN "
                                              "SELECT RAISE(ABORT, 'disk on fire'); END")
                                   .arg(table, statement));
    }
}

TEST_P(CRecordStoreTest, ARowAndTheReturnOfItsClaimHappenTogetherOrNotAtAll) {
    CRecordStore a, b;
    OpenStore(a);
    OpenStore(b);
    const bool postgres = GetParam() == EBackend::kPostgres;
    const QString mac = QStringLiteral("00:1a:2b:3c:4d:5e");
    QString error, holder;
    ASSERT_EQ(a.Claim(mac, QStringLiteral("station-a"), 60, &holder, error), EClaim::kTaken);
    QSqlDatabase db = RawDatabase();
    // The claim can't be given back: the row must not stay either.
    RefuseChanges(db, postgres, QStringLiteral("claims"), QStringLiteral("DELETE"));
    EXPECT_FALSE(a.Write(Row(1, mac), error));
    EXPECT_TRUE(error.contains(QStringLiteral("disk on fire"))) << error.toStdString();
    QVector<CFlashRecord> rows;
    ASSERT_TRUE(a.Query({}, rows, error));
    EXPECT_TRUE(rows.isEmpty());
    ExecRaw(db, QStringLiteral("DROP TRIGGER refuse_claims%1").arg(postgres ? QStringLiteral(" ON claims") : QString()));
    // The row can't be written: the claim stays.
    RefuseChanges(db, postgres, QStringLiteral("records"), QStringLiteral("INSERT"));
    EXPECT_FALSE(a.Write(Row(1, mac), error));
    EXPECT_EQ(b.Claim(mac, QStringLiteral("station-b"), 60, &holder, error), EClaim::kHeldByOther);
    // And the store goes on working afterwards.
    ExecRaw(db, QStringLiteral("DROP TRIGGER refuse_records%1").arg(postgres ? QStringLiteral(" ON records") : QString()));
    db.close();
    ASSERT_TRUE(a.Write(Row(1, mac), error)) << error.toStdString();
    EXPECT_EQ(b.Claim(mac, QStringLiteral("station-b"), 60, &holder, error), EClaim::kTaken);
}

TEST_P(CRecordStoreTest, FiltersFailuresAndCounts) {
    CRecordStore store;
    OpenStore(store);
    QString error;
    const QString mac = QStringLiteral("00-1A-2B-3C-4D-5E");
    ASSERT_TRUE(store.Write(Row(1, mac, QStringLiteral("failed")), error)) << error.toStdString();
    ASSERT_TRUE(store.Write(Row(2, mac, QStringLiteral("interrupted")), error));
    ASSERT_TRUE(store.Write(Row(3, mac, QStringLiteral("verified")), error));
    CFlashRecord otherFirmware = Row(4, QStringLiteral("99:88:77:66:55:44"));
    otherFirmware.firmware = QStringLiteral("next.hex");
    otherFirmware.sha256 = QStringLiteral("0123456789abcdef").repeated(4);
    ASSERT_TRUE(store.Write(otherFirmware, error));
    CFlashRecord recent = Row(5, QStringLiteral("99:88:77:66:55:43"));
    recent.ended = QDateTime::currentDateTimeUtc().addSecs(-60);
    ASSERT_TRUE(store.Write(recent, error));

    auto ids = [&](const CRecordFilter& filter) {
        QVector<CFlashRecord> rows;
        EXPECT_TRUE(store.Query(filter, rows, error)) << error.toStdString();
        QStringList list;
        for (const CFlashRecord& row : rows) list << row.id;
        return list.join(u',');
    };
    // Newest first.
    EXPECT_EQ(ids({}), QStringLiteral("id-5,id-4,id-3,id-2,id-1"));
    CRecordFilter filter;
    filter.mac = QStringLiteral("001a.2b3c");
    EXPECT_EQ(ids(filter), QStringLiteral("id-3,id-2,id-1"));
    filter.mac = QStringLiteral("00:1a:2b:3c:4d:5e:00");
    EXPECT_EQ(ids(filter), QString());
    filter = {};
    filter.firmware = QStringLiteral("next.hex");
    EXPECT_EQ(ids(filter), QStringLiteral("id-4"));
    filter.firmware = QStringLiteral("0123456789ABCDEF");
    EXPECT_EQ(ids(filter), QStringLiteral("id-4"));
    filter.firmware = QStringLiteral("0123456");  // too short to be a hash: a file name
    EXPECT_EQ(ids(filter), QString());
    filter = {};
    filter.failedOnly = true;
    EXPECT_EQ(ids(filter), QStringLiteral("id-2,id-1"));
    filter = {};
    filter.since = Row(3, mac).ended;
    EXPECT_EQ(ids(filter), QStringLiteral("id-5,id-4,id-3"));
    filter.limit = 2;
    EXPECT_EQ(ids(filter), QStringLiteral("id-5,id-4"));

    bool verified = false;
    ASSERT_TRUE(store.HasVerified(mac, Row(1, mac).sha256, verified, error));
    EXPECT_TRUE(verified);
    ASSERT_TRUE(store.HasVerified(mac, otherFirmware.sha256, verified, error));
    EXPECT_FALSE(verified);
    int count = 0;
    QDateTime last;
    ASSERT_TRUE(store.Failures(mac, Row(1, mac).sha256, QDateTime(), count, last, error));
    EXPECT_EQ(count, 2);
    EXPECT_EQ(last, Row(2, mac).ended);
    ASSERT_TRUE(store.Failures(mac, Row(1, mac).sha256, Row(2, mac).ended, count, last, error));
    EXPECT_EQ(count, 1);
    CRecordCounts counts;
    ASSERT_TRUE(store.Counts(counts, error)) << error.toStdString();
    EXPECT_EQ(counts.verified, 3);
    EXPECT_EQ(counts.failed, 2);
    EXPECT_EQ(counts.verifiedLastHour, 1);
}

INSTANTIATE_TEST_SUITE_P(Backends, CRecordStoreTest, testing::Values(EBackend::kSqlite, EBackend::kPostgres),
                         BackendName);

using CSqliteRecordTest = CStoreRig;

TEST_P(CSqliteRecordTest, FileAndFolderAreMadePrivateWhateverTheUmask) {
    const mode_t old = ::umask(0);
    CRecordStore store;
    OpenStore(store);
    ::umask(old);
    struct stat file {}, folder {};
    ASSERT_EQ(::stat(m_target.toLocal8Bit().constData(), &file), 0);
    ASSERT_EQ(::stat(QFileInfo(m_target).absolutePath().toLocal8Bit().constData(), &folder), 0);
    EXPECT_EQ(file.st_mode & 0777, 0640u);
    EXPECT_EQ(folder.st_mode & 0777, 0750u);
    // Readers beside a writer: the file is in WAL mode.
    QSqlDatabase db = RawDatabase();
    EXPECT_EQ(ScalarRaw(db, QStringLiteral("PRAGMA journal_mode")).toString(), QStringLiteral("wal"));
}

TEST_P(CSqliteRecordTest, AFileThatIsNoDatabaseIsRefusedWithTheReason) {
    QDir().mkpath(QFileInfo(m_target).absolutePath());
    m_dir.Write("state/records.sqlite", std::string(4096, 'x'));
    CRecordStore store;
    QString error;
    EXPECT_FALSE(store.Open(m_target, error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(store.Open(QString::fromStdString(m_dir.PathOf("state/records.sqlite/sub/x.sqlite")), error));
    EXPECT_FALSE(error.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Backends, CSqliteRecordTest, testing::Values(EBackend::kSqlite), BackendName);

using CPostgresRecordTest = CStoreRig;

TEST_P(CPostgresRecordTest, PingReconnectsWhenTheServerComesBack) {
    CRecordStore store;
    OpenStore(store);
    EXPECT_TRUE(store.Ping());
    std::string serverError;
    // As in a crash: the store learns of it only when it next asks.
    ASSERT_TRUE(Server().Stop(serverError, "immediate")) << serverError;
    EXPECT_FALSE(store.Ping());
    QString error;
    EXPECT_FALSE(store.Write(Row(1, QStringLiteral("aa")), error));
    EXPECT_FALSE(error.isEmpty());
    QString holder;
    EXPECT_EQ(store.Claim(QStringLiteral("aa"), QStringLiteral("s"), 60, &holder, error), EClaim::kError);
    ASSERT_TRUE(Server().Start(serverError)) << serverError;
    EXPECT_TRUE(store.Ping());
    ASSERT_TRUE(store.Write(Row(1, QStringLiteral("aa")), error)) << error.toStdString();
    QVector<CFlashRecord> rows;
    ASSERT_TRUE(store.Query({}, rows, error));
    EXPECT_EQ(rows.size(), 1);
}

INSTANTIATE_TEST_SUITE_P(Backends, CPostgresRecordTest, testing::Values(EBackend::kPostgres), BackendName);

}  // namespace
