// SPDX-License-Identifier: Apache-2.0
// quillon-records run as a process over a record the test wrote.
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>

#include "CsvRows.h"
#include "RecordJson.h"
#include "RecordStore.h"
#include "TempDir.h"

namespace {

struct CRecordsRun {
    int status = -1;
    QByteArray out;
    QString err;
};

class CRecordsCliTest : public testing::Test {
  protected:
    void SetUp() override {
        QString error;
        CRecordStore store;
        ASSERT_TRUE(store.Open(m_db, error)) << error.toStdString();
        m_firmwareFile = QString::fromStdString(m_dir.Write("app.hex", ":00000001FF\n"));
        QFile file(m_firmwareFile);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        m_sha = QString::fromLatin1(QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex());
        const QDateTime base(QDate(2026, 3, 1), QTime(10, 0, 0, 250), Qt::UTC);
        const struct {
            const char* mac;
            QString name;
            const char* outcome;
            int day;
            bool ourFirmware;
        } units[] = {
            {"00:1A:2B:00:00:01", QStringLiteral("=HYPERLINK(\"http://x\")"), "verified", 0, true},
            {"00-1a-2b-00-00-02", QStringLiteral("red\x1b[31m\u202Eevil"), "failed", 1, true},
            {"aa:bb:cc:00:00:03", QStringLiteral("plain"), "interrupted", 2, false},
            {"aa:bb:cc:00:00:04", QStringLiteral("@sum"), "verified", 3, true},
        };
        int n = 0;
        for (const auto& unit : units) {
            CFlashRecord row;
            row.id = QStringLiteral("r%1").arg(++n);
            row.station = QStringLiteral("line-1");
            row.mac = QString::fromLatin1(unit.mac);
            row.name = unit.name;
            row.address = QStringLiteral("127.0.0.%1").arg(n + 1);
            row.port = 69;
            row.bootloader = QStringLiteral("Device bootloader v1.04");
            row.firmware = unit.ourFirmware ? QStringLiteral("app.hex") : QStringLiteral("old.hex");
            row.sha256 = unit.ourFirmware ? m_sha : QStringLiteral("0f").repeated(32);
            row.start = 0x9D000000u;
            row.length = 4096;
            row.crc = 0x0A1B;
            row.started = base.addDays(unit.day);
            row.ended = row.started.addMSecs(1500);
            row.outcome = QString::fromLatin1(unit.outcome);
            row.exit = row.outcome == QStringLiteral("verified") ? 0 : -1;
            row.message = QStringLiteral("said \"no\", then\nstopped");
            row.bytes = 4096;
            row.attempts = 2;
            ASSERT_TRUE(store.Write(row, error)) << error.toStdString();
        }
    }

    CRecordsRun Run(QStringList arguments, bool withDb = true) {
        if (withDb) arguments << QStringLiteral("--db") << m_db;
        QProcess process;
        process.start(QStringLiteral(QUILLON_RECORDS_PATH), arguments);
        CRecordsRun run;
        if (!process.waitForFinished(30000)) {
            process.kill();
            process.waitForFinished(5000);
            ADD_FAILURE() << "quillon-records did not end";
            return run;
        }
        run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        run.out = process.readAllStandardOutput();
        run.err = QString::fromUtf8(process.readAllStandardError());
        return run;
    }

    // The names listed by --format json with these arguments, in order.
    QStringList Names(const QStringList& arguments) {
        const CRecordsRun run = Run(QStringList{QStringLiteral("--format"), QStringLiteral("json")} + arguments);
        EXPECT_EQ(run.status, 0) << run.err.toStdString();
        QStringList names;
        for (const QByteArray& line : run.out.split('\n')) {
            if (!line.isEmpty()) names << QJsonDocument::fromJson(line).object().value(QStringLiteral("name")).toString();
        }
        return names;
    }

    CTempDir m_dir;
    QString m_db = QString::fromStdString(m_dir.PathOf("records.sqlite"));
    QString m_firmwareFile;
    QString m_sha;
};

TEST_F(CRecordsCliTest, EachFormatCarriesTheRowsAndDefusesHostileText) {
    const CRecordsRun json = Run({QStringLiteral("--format"), QStringLiteral("json")});
    ASSERT_EQ(json.status, 0) << json.err.toStdString();
    const QList<QByteArray> lines = json.out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 4);
    const QStringList columns = RecordColumns();
    const QSet<QString> expectedKeys(columns.begin(), columns.end());
    const QJsonObject second = QJsonDocument::fromJson(lines[1]).object();
    const QStringList keys = second.keys();
    EXPECT_EQ(QSet<QString>(keys.begin(), keys.end()), expectedKeys);
    EXPECT_EQ(second.value(QStringLiteral("name")).toString(), QStringLiteral("red\x1b[31m\u202Eevil"));
    EXPECT_EQ(second.value(QStringLiteral("ended")).toString(), QStringLiteral("2026-03-02T10:00:01.750Z"));
    EXPECT_EQ(second.value(QStringLiteral("crc")).toInt(), 0x0A1B);

    const CRecordsRun csv = Run({QStringLiteral("--format"), QStringLiteral("csv")});
    ASSERT_EQ(csv.status, 0) << csv.err.toStdString();
    EXPECT_TRUE(csv.out.endsWith("\r\n"));
    const QVector<QStringList> rows = ParseCsv(csv.out);
    ASSERT_EQ(rows.size(), 5);
    EXPECT_EQ(rows[0], columns);
    const qsizetype name = columns.indexOf(QStringLiteral("name"));
    const qsizetype message = columns.indexOf(QStringLiteral("message"));
    const qsizetype exit = columns.indexOf(QStringLiteral("exit"));
    for (const QStringList& row : rows) ASSERT_EQ(row.size(), columns.size());
    EXPECT_EQ(rows[1][name], QStringLiteral("'=HYPERLINK(\"http://x\")"));
    EXPECT_EQ(rows[4][name], QStringLiteral("'@sum"));
    EXPECT_EQ(rows[3][name], QStringLiteral("plain"));
    EXPECT_EQ(rows[2][message], QStringLiteral("said \"no\", then\nstopped"));
    // Numbers are numbers, even negative ones.
    EXPECT_EQ(rows[2][exit], QStringLiteral("-1"));

    const CRecordsRun table = Run({});
    ASSERT_EQ(table.status, 0) << table.err.toStdString();
    const QString text = QString::fromUtf8(table.out);
    EXPECT_FALSE(text.contains(QChar(0x1b)));
    EXPECT_FALSE(text.contains(QChar(0x202E)));
    EXPECT_TRUE(text.contains(QStringLiteral("red\uFFFD[31m\uFFFDevil")));
    // One line per row and the header, whatever the messages hold.
    EXPECT_EQ(text.count(u'\n'), 5);
    EXPECT_TRUE(text.startsWith(QStringLiteral("ENDED")));
}

TEST_F(CRecordsCliTest, FiltersChooseRowsOldestFirst) {
    const QString hyperlink = QStringLiteral("=HYPERLINK(\"http://x\")"), hostile = QStringLiteral("red\x1b[31m\u202Eevil");
    EXPECT_EQ(Names({}), (QStringList{hyperlink, hostile, QStringLiteral("plain"), QStringLiteral("@sum")}));
    EXPECT_EQ(Names({QStringLiteral("--mac"), QStringLiteral("001A.2B")}), (QStringList{hyperlink, hostile}));
    EXPECT_EQ(Names({QStringLiteral("--mac"), QStringLiteral("00:1a:2b:00:00:02"), QStringLiteral("--mac=AABBCC000004")}),
              (QStringList{hostile, QStringLiteral("@sum")}));
    EXPECT_EQ(Names({QStringLiteral("--firmware"), m_firmwareFile}),
              (QStringList{hyperlink, hostile, QStringLiteral("@sum")}));
    EXPECT_EQ(Names({QStringLiteral("--firmware"), QStringLiteral("0F0F0F0F0F")}), QStringList{QStringLiteral("plain")});
    EXPECT_EQ(Names({QStringLiteral("--since"), QStringLiteral("2026-03-02")}),
              (QStringList{hostile, QStringLiteral("plain"), QStringLiteral("@sum")}));
    EXPECT_EQ(Names({QStringLiteral("--since"), QStringLiteral("2026-03-02T10:00:01.751Z")}),
              (QStringList{QStringLiteral("plain"), QStringLiteral("@sum")}));
    EXPECT_EQ(Names({QStringLiteral("--failed")}), (QStringList{hostile, QStringLiteral("plain")}));
    EXPECT_EQ(Names({QStringLiteral("--failed"), QStringLiteral("--mac"), QStringLiteral("aa")}),
              QStringList{QStringLiteral("plain")});
}

TEST_F(CRecordsCliTest, UsageErrorsAndAMissingRecordAreToldApart) {
    for (const QStringList& bad : {QStringList{QStringLiteral("--format"), QStringLiteral("xml")},
                                   QStringList{QStringLiteral("--since"), QStringLiteral("yesterday")},
                                   QStringList{QStringLiteral("--since"), QStringLiteral("2026-02-30")},
                                   QStringList{QStringLiteral("--firmware"), QStringLiteral("missing.hex")},
                                   QStringList{QStringLiteral("--mac"), QStringLiteral(":-.")},
                                   QStringList{QStringLiteral("--failed=yes")},
                                   QStringList{QStringLiteral("--mac")},
                                   QStringList{QStringLiteral("extra")}}) {
        const CRecordsRun run = Run(bad);
        EXPECT_EQ(run.status, 64) << bad.join(u' ').toStdString();
        EXPECT_TRUE(run.err.startsWith(QStringLiteral("quillon-records: "))) << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty());
    }
    const QString missing = QString::fromStdString(m_dir.PathOf("none/records.sqlite"));
    CRecordsRun run = Run({QStringLiteral("--db"), missing}, false);
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.contains(missing)) << run.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(missing));

    const QString notADatabase = QString::fromStdString(m_dir.Write("junk.sqlite", std::string(2048, 'j')));
    run = Run({QStringLiteral("--db"), notADatabase}, false);
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.startsWith(QStringLiteral("quillon-records: "))) << run.err.toStdString();
    EXPECT_TRUE(run.out.isEmpty());
}

}  // namespace
