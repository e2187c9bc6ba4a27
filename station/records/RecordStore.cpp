// SPDX-License-Identifier: Apache-2.0
#include "RecordStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <QAtomicInt>
#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include "MacMatch.h"
#include "PgUrl.h"
#include "RecordJson.h"
#include "RecordSchema.h"
#include "RecordTarget.h"

namespace {

QAtomicInt g_connectionSerial;

QString ErrorOf(const QSqlQuery& query) {
    const QSqlError error = query.lastError();
    const QString text = error.text().trimmed();
    return text.isEmpty() ? QStringLiteral("the database did not answer") : text;
}

// The SQLite file and its folder, made before Qt opens them so that their modes do not depend
// on the umask: the record names units and stations, which is nobody else's business.
bool PrepareSqliteFile(const QString& path, QString& error) {
    const QFileInfo info(path);
    const QString folder = info.absolutePath();
    if (!QFileInfo::exists(folder)) {
        if (!QDir().mkpath(folder)) {
            error = QStringLiteral("cannot create the folder %1").arg(folder);
            return false;
        }
        ::chmod(QFile::encodeName(folder).constData(), 0750);
    }
    if (info.exists()) return true;
    const QByteArray name = QFile::encodeName(info.absoluteFilePath());
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0640);
    if (fd < 0) {
        if (errno == EEXIST) return true;  // another station made it meanwhile
        error = QStringLiteral("cannot create %1: %2").arg(path, QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    ::fchmod(fd, 0640);
    ::close(fd);
    return true;
}

constexpr const char* kColumns =
    "id, station, mac, name, address, port, bootloader, firmware, sha256, start, length, crc, "
    "started, ended, outcome, exit, message, bytes, attempts";

// A null QString binds as SQL NULL; the columns hold empty text instead.
QString Text(const QString& text) {
    return text.isNull() ? QStringLiteral("") : text;
}

void BindRow(QSqlQuery& query, const CFlashRecord& row) {
    query.bindValue(QStringLiteral(":id"), Text(row.id));
    query.bindValue(QStringLiteral(":station"), Text(row.station));
    query.bindValue(QStringLiteral(":mac"), Text(row.mac));
    query.bindValue(QStringLiteral(":name"), Text(row.name));
    query.bindValue(QStringLiteral(":address"), Text(row.address));
    query.bindValue(QStringLiteral(":port"), row.port);
    query.bindValue(QStringLiteral(":bootloader"), Text(row.bootloader));
    query.bindValue(QStringLiteral(":firmware"), Text(row.firmware));
    query.bindValue(QStringLiteral(":sha256"), Text(row.sha256));
    query.bindValue(QStringLiteral(":start"), static_cast<qint64>(row.start));
    query.bindValue(QStringLiteral(":length"), static_cast<qint64>(row.length));
    query.bindValue(QStringLiteral(":crc"), static_cast<int>(row.crc));
    query.bindValue(QStringLiteral(":started"), IsoTime(row.started));
    query.bindValue(QStringLiteral(":ended"), IsoTime(row.ended));
    query.bindValue(QStringLiteral(":outcome"), Text(row.outcome));
    query.bindValue(QStringLiteral(":exit"), row.exit);
    query.bindValue(QStringLiteral(":message"), Text(row.message));
    query.bindValue(QStringLiteral(":bytes"), row.bytes);
    query.bindValue(QStringLiteral(":attempts"), row.attempts);
}

CFlashRecord ReadRow(const QSqlQuery& query) {
    CFlashRecord row;
    row.id = query.value(0).toString();
    row.station = query.value(1).toString();
    row.mac = query.value(2).toString();
    row.name = query.value(3).toString();
    row.address = query.value(4).toString();
    row.port = query.value(5).toInt();
    row.bootloader = query.value(6).toString();
    row.firmware = query.value(7).toString();
    row.sha256 = query.value(8).toString();
    row.start = static_cast<quint32>(query.value(9).toLongLong());
    row.length = static_cast<quint32>(query.value(10).toLongLong());
    row.crc = static_cast<quint16>(query.value(11).toInt());
    row.started = FromIsoTime(query.value(12).toString());
    row.ended = FromIsoTime(query.value(13).toString());
    row.outcome = query.value(14).toString();
    row.exit = query.value(15).toInt();
    row.message = query.value(16).toString();
    row.bytes = query.value(17).toLongLong();
    row.attempts = query.value(18).toInt();
    return row;
}

bool IsHexPrefix(const QString& text) {
    if (text.size() < 8 || text.size() > 64) return false;
    for (QChar c : text) {
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F'))) {
            return false;
        }
    }
    return true;
}

}  // namespace

struct CRecordStore::CImpl {
    QString connection;
    QString target;
    bool postgres = false;
    bool open = false;

    QSqlDatabase Db() const { return QSqlDatabase::database(connection, false); }

    // Leases are compared with the database's clock only: stations on several hosts may
    // disagree about the time, the one database does not. Milliseconds since the epoch.
    QString NowMs() const {
        return postgres ? QStringLiteral("CAST(EXTRACT(EPOCH FROM clock_timestamp()) * 1000 AS BIGINT)")
                        : QStringLiteral("CAST(ROUND((julianday('now') - 2440587.5) * 86400000.0) AS INTEGER)");
    }

    bool Exec(const QString& sql, QString& error) {
        QSqlQuery query(Db());
        if (query.exec(sql)) return true;
        error = ErrorOf(query);
        return false;
    }

    // SQLite takes the write lock at once, so that two stations sharing the file queue at BEGIN
    // (under the busy timeout) rather than fail at their first write.
    bool Begin(QString& error) {
        return Exec(postgres ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN IMMEDIATE"), error);
    }
    bool Commit(QString& error) {
        if (Exec(QStringLiteral("COMMIT"), error)) return true;
        Rollback();
        return false;
    }
    void Rollback() {
        QString ignored;
        Exec(QStringLiteral("ROLLBACK"), ignored);
    }
    // Ends a transaction that failed inside: error keeps the first reason.
    bool Fail() {
        Rollback();
        return false;
    }

    // A store whose database went away answers with this until Ping brings it back.
    bool Ready(QString& error) const {
        if (open) return true;
        error = QStringLiteral("the record is not open (the database did not answer)");
        return false;
    }

    bool Connect(QString& error);
    bool EnsureSchema(QString& error);
};

bool CRecordStore::CImpl::Connect(QString& error) {
    QSqlDatabase db;
    if (postgres) {
        if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL"))) {
            error = QStringLiteral("Qt SQL has no PostgreSQL driver here (Debian: libqt6sql6-psql)");
            return false;
        }
        CPgSettings settings;
        if (!ParsePgUrl(target, settings, error)) return false;
        db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection);
        db.setHostName(settings.host);
        db.setPort(settings.port);
        db.setUserName(settings.user);
        db.setPassword(settings.password);
        db.setDatabaseName(settings.database);
        db.setConnectOptions(settings.options);
    } else {
        if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE"))) {
            error = QStringLiteral("Qt SQL has no SQLite driver here (Debian: libqt6sql6-sqlite)");
            return false;
        }
        if (!PrepareSqliteFile(target, error)) return false;
        db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(target);
        // Two stations on one host may share the file: wait for the other's write, do not fail.
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
    }
    if (!db.open()) {
        const QString reason = db.lastError().text().trimmed();
        error = QStringLiteral("cannot open the record %1: %2")
                    .arg(postgres ? QStringLiteral("database") : target, reason);
        return false;
    }
    if (!postgres) {
        // WAL lets readers (quillon-records, the page) run beside a writing station; FULL makes
        // each committed row survive a power cut, which is the record's whole point.
        QSqlQuery query(db);
        if (!query.exec(QStringLiteral("PRAGMA journal_mode=WAL")) ||
            !query.exec(QStringLiteral("PRAGMA synchronous=FULL"))) {
            error = QStringLiteral("cannot set up %1: %2").arg(target, ErrorOf(query));
            db.close();
            return false;
        }
    }
    return true;
}

bool CRecordStore::CImpl::EnsureSchema(QString& error) {
    if (!Begin(error)) return false;
    // Stations starting together on one PostgreSQL database create the tables once.
    if (postgres && !Exec(QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(kSchemaLockKey), error)) {
        return Fail();
    }
    bool exists = false;
    {
        QSqlQuery query(Db());
        if (!query.exec(postgres ? QStringLiteral("SELECT to_regclass('schema') IS NOT NULL")
                                 : QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE name = 'schema'")) ||
            !query.next()) {
            error = ErrorOf(query);
            return Fail();
        }
        exists = query.value(0).toBool();
    }
    if (!exists && !Exec(QStringLiteral("CREATE TABLE schema (version INTEGER NOT NULL)"), error)) {
        return Fail();
    }
    int version = 0;
    {
        QSqlQuery query(Db());
        if (!query.exec(QStringLiteral("SELECT MAX(version) FROM schema"))) {
            error = ErrorOf(query);
            return Fail();
        }
        if (query.next()) version = query.value(0).toInt();
    }
    if (version > kSchemaVersion) {
        error = QStringLiteral(
                    "the record's schema is version %1, newer than this program's %2; "
                    "update the program")
                    .arg(version)
                    .arg(kSchemaVersion);
        return Fail();
    }
    if (version == kSchemaVersion) {
        Rollback();
        return true;
    }
    for (int step = version + 1; step <= kSchemaVersion; ++step) {
        for (const QString& sql : SchemaStep(step, postgres)) {
            if (!Exec(sql, error)) {
                error = QStringLiteral("cannot bring the record to schema version %1: %2").arg(step).arg(error);
                return Fail();
            }
        }
    }
    if (!Exec(QStringLiteral("DELETE FROM schema"), error)) return Fail();
    QSqlQuery query(Db());
    query.prepare(QStringLiteral("INSERT INTO schema (version) VALUES (:version)"));
    query.bindValue(QStringLiteral(":version"), kSchemaVersion);
    if (!query.exec()) {
        error = ErrorOf(query);
        return Fail();
    }
    query.finish();
    return Commit(error);
}

CRecordStore::CRecordStore() : m_impl(new CImpl) {
    m_impl->connection = QStringLiteral("quillon-records-%1").arg(g_connectionSerial.fetchAndAddRelaxed(1));
}

CRecordStore::~CRecordStore() {
    Close();
    delete m_impl;
}

bool CRecordStore::Open(const QString& target, QString& error) {
    Close();
    m_impl->target = target;
    m_impl->postgres = IsPostgresTarget(target);
    if (!m_impl->Connect(error)) {
        Close();
        return false;
    }
    if (!m_impl->EnsureSchema(error)) {
        Close();
        return false;
    }
    m_impl->open = true;
    return true;
}

void CRecordStore::Close() {
    m_impl->open = false;
    if (QSqlDatabase::contains(m_impl->connection)) {
        {
            QSqlDatabase db = m_impl->Db();
            db.close();
        }
        QSqlDatabase::removeDatabase(m_impl->connection);
    }
}

bool CRecordStore::IsOpen() const {
    return m_impl->open;
}

bool CRecordStore::Ping() {
    if (m_impl->target.isEmpty()) return false;
    if (QSqlDatabase::contains(m_impl->connection)) {
        QSqlQuery query(m_impl->Db());
        if (query.exec(QStringLiteral("SELECT 1"))) return true;
    }
    // The connection broke (a restarted server, a reset link): make a new one.
    const QString target = m_impl->target;
    QString ignored;
    return Open(target, ignored);
}

bool CRecordStore::Write(const CFlashRecord& row, QString& error) {
    if (!m_impl->Ready(error)) return false;
    if (!m_impl->Begin(error)) return false;
    {
        QSqlQuery query(m_impl->Db());
        QString named = QString::fromLatin1(kColumns);
        named.replace(QStringLiteral(", "), QStringLiteral(", :"));
        query.prepare(QStringLiteral("INSERT INTO records (%1) VALUES (:%2) ON CONFLICT (id) DO NOTHING")
                          .arg(QString::fromLatin1(kColumns), named));
        BindRow(query, row);
        if (!query.exec()) {
            error = ErrorOf(query);
            return m_impl->Fail();
        }
    }
    if (!row.mac.isEmpty()) {
        QSqlQuery query(m_impl->Db());
        query.prepare(QStringLiteral("DELETE FROM claims WHERE mac = :mac AND station = :station"));
        query.bindValue(QStringLiteral(":mac"), Text(row.mac));
        query.bindValue(QStringLiteral(":station"), Text(row.station));
        if (!query.exec()) {
            error = ErrorOf(query);
            return m_impl->Fail();
        }
    }
    return m_impl->Commit(error);
}

EClaim CRecordStore::Claim(const QString& mac, const QString& station, int leaseSeconds,
                           QString* holder, QString& error) {
    if (!m_impl->Ready(error)) return EClaim::kError;
    if (!m_impl->Begin(error)) return EClaim::kError;
    {
        QSqlQuery query(m_impl->Db());
        query.prepare(QStringLiteral(
                          "INSERT INTO claims (mac, station, lease_end) VALUES (:mac, :station, %1 + :lease) "
                          "ON CONFLICT (mac) DO UPDATE SET station = excluded.station, lease_end = excluded.lease_end "
                          "WHERE claims.lease_end < %1 OR claims.station = excluded.station")
                          .arg(m_impl->NowMs()));
        query.bindValue(QStringLiteral(":mac"), mac);
        query.bindValue(QStringLiteral(":station"), station);
        query.bindValue(QStringLiteral(":lease"), static_cast<qint64>(leaseSeconds) * 1000);
        if (!query.exec()) {
            error = ErrorOf(query);
            m_impl->Fail();
            return EClaim::kError;
        }
    }
    QString owner;
    {
        QSqlQuery query(m_impl->Db());
        query.prepare(QStringLiteral("SELECT station FROM claims WHERE mac = :mac"));
        query.bindValue(QStringLiteral(":mac"), mac);
        if (!query.exec() || !query.next()) {
            error = ErrorOf(query);
            m_impl->Fail();
            return EClaim::kError;
        }
        owner = query.value(0).toString();
    }
    if (!m_impl->Commit(error)) return EClaim::kError;
    if (owner == station) return EClaim::kTaken;
    if (holder != nullptr) *holder = owner;
    return EClaim::kHeldByOther;
}

bool CRecordStore::Renew(const QString& station, int leaseSeconds, QString& error) {
    if (!m_impl->Ready(error)) return false;
    QSqlQuery query(m_impl->Db());
    query.prepare(QStringLiteral("UPDATE claims SET lease_end = %1 + :lease WHERE station = :station")
                      .arg(m_impl->NowMs()));
    query.bindValue(QStringLiteral(":lease"), static_cast<qint64>(leaseSeconds) * 1000);
    query.bindValue(QStringLiteral(":station"), station);
    if (query.exec()) return true;
    error = ErrorOf(query);
    return false;
}

bool CRecordStore::ReleaseAll(const QString& station, QString& error) {
    if (!m_impl->Ready(error)) return false;
    QSqlQuery query(m_impl->Db());
    query.prepare(QStringLiteral("DELETE FROM claims WHERE station = :station"));
    query.bindValue(QStringLiteral(":station"), station);
    if (query.exec()) return true;
    error = ErrorOf(query);
    return false;
}

bool CRecordStore::HasVerified(const QString& mac, const QString& sha256, bool& verified, QString& error) {
    if (!m_impl->Ready(error)) return false;
    QSqlQuery query(m_impl->Db());
    query.prepare(QStringLiteral(
        "SELECT COUNT(*) FROM records WHERE mac = :mac AND sha256 = :sha256 AND outcome = 'verified'"));
    query.bindValue(QStringLiteral(":mac"), mac);
    query.bindValue(QStringLiteral(":sha256"), sha256);
    if (!query.exec() || !query.next()) {
        error = ErrorOf(query);
        return false;
    }
    verified = query.value(0).toLongLong() > 0;
    return true;
}

bool CRecordStore::Failures(const QString& mac, const QString& sha256, const QDateTime& since, int& count,
                            QDateTime& lastEnded, QString& error) {
    if (!m_impl->Ready(error)) return false;
    QSqlQuery query(m_impl->Db());
    query.prepare(QStringLiteral("SELECT COUNT(*), MAX(ended) FROM records WHERE mac = :mac AND sha256 = :sha256 "
                                 "AND outcome <> 'verified'%1")
                      .arg(since.isValid() ? QStringLiteral(" AND ended >= :since") : QString()));
    query.bindValue(QStringLiteral(":mac"), mac);
    query.bindValue(QStringLiteral(":sha256"), sha256);
    if (since.isValid()) query.bindValue(QStringLiteral(":since"), IsoTime(since));
    if (!query.exec() || !query.next()) {
        error = ErrorOf(query);
        return false;
    }
    count = static_cast<int>(query.value(0).toLongLong());
    lastEnded = FromIsoTime(query.value(1).toString());
    return true;
}

bool CRecordStore::Query(const CRecordFilter& filter, QVector<CFlashRecord>& rows, QString& error) {
    rows.clear();
    if (!m_impl->Ready(error)) return false;
    QString sql = QStringLiteral("SELECT %1 FROM records WHERE 1 = 1").arg(QString::fromLatin1(kColumns));
    const QString macKey = MacKey(filter.mac);
    if (!macKey.isEmpty()) {
        sql += QStringLiteral(
            " AND substr(lower(replace(replace(replace(mac, ':', ''), '-', ''), '.', '')), 1, :maclength)"
            " = :mackey");
    }
    const bool byHash = IsHexPrefix(filter.firmware);
    if (!filter.firmware.isEmpty()) {
        sql += byHash ? QStringLiteral(" AND (firmware = :firmware OR substr(sha256, 1, :shalength) = :sha)")
                      : QStringLiteral(" AND firmware = :firmware");
    }
    if (filter.since.isValid()) sql += QStringLiteral(" AND ended >= :since");
    if (filter.failedOnly) sql += QStringLiteral(" AND outcome <> 'verified'");
    sql += QStringLiteral(" ORDER BY ended DESC, seq DESC");
    if (filter.limit > 0) sql += QStringLiteral(" LIMIT :limit");

    QSqlQuery query(m_impl->Db());
    query.setForwardOnly(true);
    query.prepare(sql);
    if (!macKey.isEmpty()) {
        query.bindValue(QStringLiteral(":maclength"), static_cast<int>(macKey.size()));
        query.bindValue(QStringLiteral(":mackey"), macKey);
    }
    if (!filter.firmware.isEmpty()) {
        query.bindValue(QStringLiteral(":firmware"), filter.firmware);
        if (byHash) {
            query.bindValue(QStringLiteral(":shalength"), static_cast<int>(filter.firmware.size()));
            query.bindValue(QStringLiteral(":sha"), filter.firmware.toLower());
        }
    }
    if (filter.since.isValid()) query.bindValue(QStringLiteral(":since"), IsoTime(filter.since));
    if (filter.limit > 0) query.bindValue(QStringLiteral(":limit"), filter.limit);
    if (!query.exec()) {
        error = ErrorOf(query);
        return false;
    }
    while (query.next()) rows.append(ReadRow(query));
    return true;
}

bool CRecordStore::Counts(CRecordCounts& counts, QString& error) {
    if (!m_impl->Ready(error)) return false;
    QSqlQuery query(m_impl->Db());
    query.prepare(QStringLiteral(
        "SELECT COALESCE(SUM(CASE WHEN outcome = 'verified' THEN 1 ELSE 0 END), 0), "
        "COALESCE(SUM(CASE WHEN outcome <> 'verified' THEN 1 ELSE 0 END), 0), "
        "COALESCE(SUM(CASE WHEN outcome = 'verified' AND ended >= :hour THEN 1 ELSE 0 END), 0) "
        "FROM records"));
    // Row times are the stations' clocks, so the last hour is too.
    query.bindValue(QStringLiteral(":hour"), IsoTime(QDateTime::currentDateTimeUtc().addSecs(-3600)));
    if (!query.exec() || !query.next()) {
        error = ErrorOf(query);
        return false;
    }
    counts.verified = static_cast<int>(query.value(0).toLongLong());
    counts.failed = static_cast<int>(query.value(1).toLongLong());
    counts.verifiedLastHour = static_cast<int>(query.value(2).toLongLong());
    return true;
}
