// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <QString>
#include <QStringList>

#include "RecordStore.h"

// quillon-records' command line.
enum class ERecordsFormat { kTable, kCsv, kJson };
enum class ERecordsMode { kList, kHelp, kVersion };

struct CRecordsOptions {
    ERecordsMode mode = ERecordsMode::kList;
    QString db;            // empty: DefaultRecordTarget()
    QStringList macs;      // any of them; empty: every MAC
    QString firmware;      // as given
    QString since;         // as given
    CRecordFilter filter;  // mac (one --mac), firmware (a file's SHA-256, or as given), since, failed
    ERecordsFormat format = ERecordsFormat::kTable;
};

inline constexpr int kRecordsExitUsage = 64;
inline constexpr int kRecordsExitNoRecord = 1;

// Parses arguments (without the program name). A --firmware naming a file is read here, so
// error may name an unreadable file.
bool ParseRecordsOptions(const QStringList& arguments, CRecordsOptions& options, QString& error);

// "2026-03-01" or "2026-03-01T10:00[:00[.000]][Z]" (a space for the T too), read as UTC.
QDateTime ParseSinceTime(const QString& text);

extern const char* const kRecordsUsage;
extern const char* const kRecordsHelp;
