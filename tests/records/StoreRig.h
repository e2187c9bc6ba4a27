// SPDX-License-Identifier: Apache-2.0
#pragma once
// A fresh record for each test, on SQLite (a file in a private folder) or on a real PostgreSQL
// (a new database on one server started for the whole program), so that the same cases run on
// both. The server is left running until the program ends.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <memory>
#include <string>

#include "FlashRecord.h"
#include "PgServer.h"
#include "PgUrl.h"
#include "RecordStore.h"
#include "TempDir.h"

enum class EBackend { kSqlite, kPostgres };

inline void PrintTo(EBackend backend, std::ostream* out) {
    *out << (backend == EBackend::kSqlite ? "SQLite" : "PostgreSQL");
}

inline std::string BackendName(const testing::TestParamInfo<EBackend>& info) {
    return info.param == EBackend::kSqlite ? "Sqlite" : "Postgres";
}

class CStoreRig : public testing::TestWithParam<EBackend> {
  protected:
    static CPgServer& Server() {
        static CPgServer s_server;
        return s_server;
    }

    void SetUp() override {
        static int s_serial = 0;
        if (GetParam() == EBackend::kSqlite) {
            m_target = QString::fromStdString(m_dir.PathOf("state/records.sqlite"));
            return;
        }
        ASSERT_TRUE(CPgServer::Installed()) << "PostgreSQL 15 is not installed (scripts/install-deps.sh)";
        std::string error;
        ASSERT_TRUE(Server().Start(error)) << error;
        const std::string database = "records" + std::to_string(++s_serial);
        ASSERT_TRUE(Server().CreateDatabase(database, error)) << error;
        m_target = QString::fromStdString(Server().Url(database));
    }

    // A second connection of the test's own, beside the store, for what the store does not offer
    // (an old schema, a look at the tables).
    QSqlDatabase RawDatabase() {
        static int s_serial = 0;
        const QString name = QStringLiteral("raw%1").arg(++s_serial);
        QSqlDatabase db;
        if (GetParam() == EBackend::kSqlite) {
            QDir().mkpath(QFileInfo(m_target).absolutePath());
            db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(m_target);
        } else {
            CPgSettings settings;
            QString error;
            EXPECT_TRUE(ParsePgUrl(m_target, settings, error)) << error.toStdString();
            db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
            db.setHostName(settings.host);
            db.setPort(settings.port);
            db.setUserName(settings.user);
            db.setDatabaseName(settings.database);
        }
        EXPECT_TRUE(db.open()) << db.lastError().text().toStdString();
        return db;
    }

  public:
    static void ExecRaw(QSqlDatabase& db, const QString& sql) {
        QSqlQuery query(db);
        EXPECT_TRUE(query.exec(sql)) << sql.toStdString() << ": " << query.lastError().text().toStdString();
    }

    static QVariant ScalarRaw(QSqlDatabase& db, const QString& sql) {
        QSqlQuery query(db);
        if (!query.exec(sql) || !query.next()) return {};
        return query.value(0);
    }

  protected:
    void OpenStore(CRecordStore& store) {
        QString error;
        ASSERT_TRUE(store.Open(m_target, error)) << error.toStdString();
    }

    // A row with every column set, different from any other row the test makes with another n.
    static CFlashRecord Row(int n, const QString& mac, const QString& outcome = QStringLiteral("verified")) {
        CFlashRecord row;
        row.id = QStringLiteral("id-%1").arg(n);
        row.station = QStringLiteral("station-a");
        row.mac = mac;
        row.name = QStringLiteral("unit %1").arg(n);
        row.address = QStringLiteral("127.0.0.%1").arg(2 + n % 200);
        row.port = 69;
        row.bootloader = QStringLiteral("Device bootloader v1.04");
        row.firmware = QStringLiteral("app.hex");
        row.sha256 = QStringLiteral("ab12cd34").repeated(8);
        row.start = 0x9D000000u;
        row.length = 8192;
        row.crc = 0xBEEF;
        row.started = QDateTime(QDate(2026, 3, 1), QTime(10, 0, 0, 123), Qt::UTC).addSecs(n * 60);
        row.ended = row.started.addMSecs(1456);
        row.outcome = outcome;
        row.exit = outcome == QStringLiteral("verified") ? 0 : 1;
        row.message = outcome;
        row.bytes = 8192;
        row.attempts = 1;
        return row;
    }

    CTempDir m_dir;
    QString m_target;
};
