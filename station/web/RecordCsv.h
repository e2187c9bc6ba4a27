// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <QByteArray>
#include <QVector>

#include "FlashRecord.h"

// Records as CSV for the page's download: a header line of the column names, then a line per
// row, CRLF-terminated, quoted where needed (RFC 4180). A text cell that a spreadsheet would
// take for a formula (starting with '=', '+', '-', '@', a tab or a CR) gets a leading "'": a
// unit's name is never run as a formula on a supervisor's desk.
QByteArray RecordsCsv(const QVector<CFlashRecord>& rows);
