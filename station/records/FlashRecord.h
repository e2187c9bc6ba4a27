// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <QDateTime>
#include <QString>

// One ended flash: a row of the record. The member names are the column names and the keys of
// quillon-records --format json.
struct CFlashRecord {
    QString station;     // --station, default the host name
    QString mac;         // as announced; empty for a hand-made flash without --mac
    QString name;        // as announced
    QString address;     // dotted quad the unit was flashed at
    int port = 0;        // bootloader port
    QString bootloader;  // the version line ("Device bootloader v1.04"), empty if never answered
    QString firmware;    // file name as given
    QString sha256;      // of the firmware, lower-case hex
    quint32 start = 0;   // the verify's range and CRC-16
    quint32 length = 0;
    quint16 crc = 0;
    QDateTime started;  // UTC; written as ISO 8601 with milliseconds
    QDateTime ended;
    QString outcome;  // "verified", "failed" or "interrupted"
    int exit = 0;     // quillon-flash's exit status for the unit
    QString message;  // quillon-flash's result message
    qint64 bytes = 0;
    int attempts = 0;
    // Unique per flash, so that a row replayed from the journal is written once. Not shown.
    QString id;
};
