// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <QString>
#include <QVector>

#include "FlashRecord.h"

// The station's local journal: a JSON Lines file, each line written whole and fsynced before the
// call returns. It holds what must survive the database going away or the station being killed:
// flashes begun and the last state seen of each, and ended rows not yet written to the database.
class CJournal {
  public:
    CJournal();
    ~CJournal();
    CJournal(const CJournal&) = delete;
    CJournal& operator=(const CJournal&) = delete;

    // Opens (creating 0640 with its folder) and reads what an earlier run left. A torn last line
    // (a kill mid-write) is ignored.
    bool Open(const QString& path, QString& error);

    // A flash begins: the row as known so far (id, station, mac, name, address, port, firmware,
    // sha256, start, length, crc, started).
    bool Begin(const CFlashRecord& row, QString& error);
    // The last state seen: a stage word ("connecting", "erasing", "programming", ...), the bytes
    // programmed and the bootloader's version line once known.
    bool State(const QString& id, const QString& stage, qint64 bytes, const QString& bootloader,
               QString& error);
    // The flash ended; the row stays pending until Written.
    bool Ended(const CFlashRecord& row, QString& error);
    // The row is in the database.
    bool Written(const QString& id, QString& error);

    // Rows ended but not written.
    QVector<CFlashRecord> Unwritten() const;
    // Flashes begun by an earlier run and never ended, as rows with outcome "interrupted", ended
    // now, their message naming the last state seen. Call once after Open; they become Unwritten.
    QVector<CFlashRecord> TakeAbandoned();
    // Rewrites the file with only what is still pending or in flight.
    bool Compact(QString& error);

  private:
    struct CImpl;
    CImpl* m_impl;
};
