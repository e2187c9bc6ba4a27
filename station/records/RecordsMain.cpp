// SPDX-License-Identifier: Apache-2.0
// quillon-records: reads the record that quillon-station and quillon-flash --record write.
#include <cstdio>

#include <QCoreApplication>
#include <QFileInfo>

#include "MacMatch.h"
#include "RecordStore.h"
#include "RecordTarget.h"
#include "RecordsOptions.h"
#include "RecordsOutput.h"

namespace {

void Print(FILE* stream, const QByteArray& bytes) {
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    CRecordsOptions options;
    QString error;
    if (!ParseRecordsOptions(app.arguments().mid(1), options, error)) {
        Print(stderr, QStringLiteral("quillon-records: %1\n").arg(error).toUtf8());
        std::fprintf(stderr, "%s(try --help)\n", kRecordsUsage);
        return kRecordsExitUsage;
    }
    if (options.mode == ERecordsMode::kHelp) {
        std::fputs(kRecordsUsage, stdout);
        std::fputs("\n", stdout);
        std::fputs(kRecordsHelp, stdout);
        return 0;
    }
    if (options.mode == ERecordsMode::kVersion) {
        std::puts("quillon-records " QUILLON_VERSION);
        return 0;
    }
    const QString target = options.db.isEmpty() ? DefaultRecordTarget() : options.db;
    // A reader never makes an empty record where none was.
    if (!IsPostgresTarget(target) && !QFileInfo::exists(target)) {
        Print(stderr, QStringLiteral("quillon-records: no record at %1 (nothing recorded yet, or another --db)\n")
                          .arg(target)
                          .toUtf8());
        return kRecordsExitNoRecord;
    }
    CRecordStore store;
    QVector<CFlashRecord> rows;
    if (!store.Open(target, error) || !store.Query(options.filter, rows, error)) {
        Print(stderr, QStringLiteral("quillon-records: %1\n").arg(error).toUtf8());
        return kRecordsExitNoRecord;
    }
    QVector<CFlashRecord> shown;
    // Oldest first, as a log reads.
    for (auto row = rows.crbegin(); row != rows.crend(); ++row) {
        bool match = options.macs.size() < 2;
        for (const QString& mac : options.macs) match = match || MacStartsWith(row->mac, mac);
        if (match) shown.append(*row);
    }
    switch (options.format) {
        case ERecordsFormat::kTable:
            Print(stdout, RecordsTable(shown));
            break;
        case ERecordsFormat::kCsv:
            Print(stdout, RecordsCsv(shown));
            break;
        case ERecordsFormat::kJson:
            Print(stdout, RecordsJsonLines(shown));
            break;
    }
    return std::fflush(stdout) == 0 ? 0 : kRecordsExitNoRecord;
}
