// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <QDateTime>
#include <QString>
#include <QVector>

#include "FlashRecord.h"

// What quillon-records, the station's page and the station's own decisions ask of the record.
struct CRecordFilter {
    QString mac;       // the MAC starts with this, ignoring case and ':', '-', '.'; empty: all
    QString firmware;  // a file name, or a SHA-256 (or its prefix of 8 or more hex digits)
    QDateTime since;   // ended at or after; invalid: no bound
    bool failedOnly = false;  // outcome other than verified
    int limit = 0;            // newest first; 0: no limit
};

struct CRecordCounts {
    int verified = 0;
    int failed = 0;  // failed or interrupted
    int verifiedLastHour = 0;
};

enum class EClaim {
    kTaken,         // ours now (new, renewed, or taken over from an ended lease)
    kHeldByOther,   // another station holds a lease that has not ended
    kError          // the database did not answer; nothing is known
};

// The record of ended flashes and the claims of units being flashed, in SQLite (a file path) or
// PostgreSQL (a postgresql:// URL), through Qt SQL. Every query binds its values. One object per
// thread; every call is synchronous. The schema carries a version and is created or upgraded by
// Open.
class CRecordStore {
  public:
    CRecordStore();
    ~CRecordStore();
    CRecordStore(const CRecordStore&) = delete;
    CRecordStore& operator=(const CRecordStore&) = delete;

    // target: "postgresql://..." or a file path; a SQLite file is created 0640 with its folder.
    bool Open(const QString& target, QString& error);
    void Close();
    bool IsOpen() const;
    // A round trip; after a failure, reopens the connection first.
    bool Ping();

    // Writes the row and, in the same transaction, gives back row.station's claim on row.mac.
    // A row whose id is already there is not written twice (true).
    bool Write(const CFlashRecord& row, QString& error);

    // Takes the MAC for station until now + leaseSeconds, in one transaction (INSERT ... ON
    // CONFLICT): free, already ours, or held by a lease that ended. holder names the other
    // station for kHeldByOther.
    EClaim Claim(const QString& mac, const QString& station, int leaseSeconds, QString* holder,
                 QString& error);
    // Moves the lease end of every claim of station to now + leaseSeconds.
    bool Renew(const QString& station, int leaseSeconds, QString& error);
    // Drops every claim of station (at its start, after a crash).
    bool ReleaseAll(const QString& station, QString& error);

    // Whether a verified row exists for this MAC and firmware.
    bool HasVerified(const QString& mac, const QString& sha256, bool& verified, QString& error);
    // Failed or interrupted rows for this MAC and firmware ended at or after since (invalid: all),
    // and when the last of them ended.
    bool Failures(const QString& mac, const QString& sha256, const QDateTime& since, int& count,
                  QDateTime& lastEnded, QString& error);

    bool Query(const CRecordFilter& filter, QVector<CFlashRecord>& rows, QString& error);
    bool Counts(CRecordCounts& counts, QString& error);

  private:
    struct CImpl;
    CImpl* m_impl;
};
