// SPDX-License-Identifier: Apache-2.0
// quillon-flash --record and --mac, as a process against simulated units.
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QFile>
#include <QJsonDocument>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSysInfo>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "FlashRig.h"
#include "LoopbackUnit.h"
#include "RecordStore.h"
#include "TempDir.h"
#include "UnitSim.h"

namespace {

std::string Target(const CUnitSim& unit) {
    return "127.0.0.1:" + std::to_string(unit.Port());
}

class CFlashRecordTest : public testing::Test {
  protected:
    // The rows, oldest first.
    QVector<CFlashRecord> Rows() {
        CRecordStore store;
        QString error;
        EXPECT_TRUE(store.Open(QString::fromStdString(m_db), error)) << error.toStdString();
        QVector<CFlashRecord> rows;
        EXPECT_TRUE(store.Query({}, rows, error)) << error.toStdString();
        std::reverse(rows.begin(), rows.end());
        return rows;
    }
    QString Sha256(const std::string& path) {
        QFile file(QString::fromStdString(path));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return QString::fromLatin1(QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex());
    }

    CTempDir m_dir;
    std::string m_db = m_dir.PathOf("state/records.sqlite");
    CFirmware m_fw{40};
};

TEST_F(CFlashRecordTest, EveryUnitOfAFleetGetsItsRowAndTheOneTargetItsMac) {
    std::vector<std::unique_ptr<CUnitSim>> units;
    for (int i = 0; i < 3; ++i) {
        CUnitSimConfig config;
        config.faults.silent = i == 2;
        units.push_back(StartLoopbackUnit(EWakeup::kNeeded, std::move(config)));
    }
    const CRun fleet = RunFlash({"--quiet", "--record", m_db, Target(*units[0]), Target(*units[1]),
                                 Target(*units[2]), m_fw.Path()},
                                60000);
    EXPECT_EQ(fleet.status, 1) << fleet.err;
    QVector<CFlashRecord> rows = Rows();
    ASSERT_EQ(rows.size(), 3);
    int verified = 0;
    for (const CFlashRecord& row : rows) {
        const bool silent = row.port == units[2]->Port();
        EXPECT_EQ(row.outcome, silent ? QStringLiteral("failed") : QStringLiteral("verified"));
        EXPECT_EQ(row.exit, silent ? 1 : 0);
        EXPECT_EQ(row.bootloader.isEmpty(), silent);
        EXPECT_EQ(row.address, QStringLiteral("127.0.0.1"));
        EXPECT_TRUE(row.mac.isEmpty());
        EXPECT_EQ(row.station, QSysInfo::machineHostName());
        EXPECT_EQ(row.firmware, QString::fromStdString(m_fw.Path()));
        EXPECT_EQ(row.sha256, Sha256(m_fw.Path()));
        EXPECT_EQ(row.start, 0x9D000000u);
        EXPECT_EQ(row.length, m_fw.Length());
        EXPECT_EQ(row.crc, m_fw.Crc());
        EXPECT_LT(row.started, row.ended);
        EXPECT_LE(row.ended, QDateTime::currentDateTimeUtc());
        EXPECT_GE(row.started, QDateTime::currentDateTimeUtc().addSecs(-120));
        if (!silent) {
            ++verified;
            EXPECT_EQ(row.bytes, m_fw.Length());
            EXPECT_EQ(row.attempts, 1);
        }
    }
    EXPECT_EQ(verified, 2);

    auto single = StartLoopbackUnit(EWakeup::kNeeded);
    const CRun one = RunFlash({"--record", m_db, "--mac", "00:04:A3:00:00:01", Target(*single), m_fw.Path()});
    EXPECT_EQ(one.status, 0) << one.err;
    rows = Rows();
    ASSERT_EQ(rows.size(), 4);
    EXPECT_EQ(rows[3].mac, QStringLiteral("00:04:A3:00:00:01"));
    EXPECT_EQ(rows[3].port, single->Port());
    EXPECT_EQ(rows[3].outcome, QStringLiteral("verified"));
}

TEST_F(CFlashRecordTest, ARecordThatCannotBeOpenedStopsTheFlashBeforeAnyUnitIsWoken) {
    auto unit = StartLoopbackUnit(EWakeup::kNeeded);
    // A folder can't be made under a file.
    const std::string db = m_fw.Path() + "/records.sqlite";
    const CRun run = RunFlash({"--json", "--record", db, Target(*unit), m_fw.Path()});
    EXPECT_EQ(run.status, 6) << run.err;
    EXPECT_NE(run.err.find("cannot open the record"), std::string::npos) << run.err;
    EXPECT_EQ(unit->RequestCount(), 0);
    const QJsonDocument result = QJsonDocument::fromJson(QByteArray::fromStdString(run.out));
    EXPECT_EQ(result[QStringLiteral("event")].toString(), QStringLiteral("result"));
    EXPECT_EQ(result[QStringLiteral("exit")].toInt(), 6);
}

TEST_F(CFlashRecordTest, ARowThatCannotBeWrittenIsSaidAndTheStatusIsNotZero) {
    {
        CRecordStore store;
        QString error;
        ASSERT_TRUE(store.Open(QString::fromStdString(m_db), error)) << error.toStdString();
    }
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("refusing"));
        db.setDatabaseName(QString::fromStdString(m_db));
        ASSERT_TRUE(db.open());
        QSqlQuery query(db);
        ASSERT_TRUE(query.exec(QStringLiteral(
            "CREATE TRIGGER refuse BEFORE INSERT ON records BEGIN SELECT RAISE(ABORT, 'disk on fire'); END")));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("refusing"));
    auto unit = StartLoopbackUnit(EWakeup::kNeeded);
    const CRun run = RunFlash({"--json", "--record", m_db, Target(*unit), m_fw.Path()});
    EXPECT_EQ(run.status, 6) << run.err;
    // The unit holds the file, and the JSON still says so: only the record is missing.
    EXPECT_EQ(unit->FlashCrc(0x9D000000, m_fw.Length()), m_fw.Crc());
    EXPECT_NE(run.out.find("\"ok\":true"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("the record could not be written"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("disk on fire"), std::string::npos) << run.err;
    for (const QByteArray& line : QByteArray::fromStdString(run.out).split('\n')) {
        if (!line.isEmpty()) {
            EXPECT_TRUE(QJsonDocument::fromJson(line).isObject()) << line.toStdString();
        }
    }
}

TEST_F(CFlashRecordTest, MacAndRecordOnlyWhereTheyMeanSomething) {
    for (const std::vector<std::string>& bad : {
             std::vector<std::string>{"--mac", "00:04", "127.0.0.1:9", m_fw.Path()},
             std::vector<std::string>{"--record", m_db, "--mac", "00:04", "127.0.0.1:9", "127.0.0.1:10", m_fw.Path()},
             std::vector<std::string>{"--record", m_db, "--info", "127.0.0.1:9"},
             std::vector<std::string>{"--record", "", "127.0.0.1:9", m_fw.Path()},
         }) {
        const CRun run = RunFlash(bad);
        EXPECT_EQ(run.status, 64) << bad[0] << " " << bad[1] << ": " << run.err;
    }
    EXPECT_FALSE(QFile::exists(QString::fromStdString(m_db)));
}

}  // namespace
