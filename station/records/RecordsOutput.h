// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <QByteArray>
#include <QString>
#include <QVector>

#include "FlashRecord.h"

// quillon-records' three formats. Names, MACs and messages come from units: hostile text.

// A terminal table of the columns a person reads, one line per row; control characters
// (C0, DEL, C1, line and bidirectional controls) become U+FFFD, overlong cells end in "…".
QByteArray RecordsTable(const QVector<CFlashRecord>& rows);
// Every column, a header row, RFC 4180 (CRLF, quotes doubled); a text cell that a spreadsheet
// would take for a formula (starting with = + - @, tab or CR) gets a leading '.
QByteArray RecordsCsv(const QVector<CFlashRecord>& rows);
// One JSON object per line, keys the column names.
QByteArray RecordsJsonLines(const QVector<CFlashRecord>& rows);

// text with every control character replaced by U+FFFD.
QString DisplayText(const QString& text);
