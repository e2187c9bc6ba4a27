// SPDX-License-Identifier: Apache-2.0
#include "RecordsOptions.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include "MacMatch.h"

const char* const kRecordsUsage =
    "usage: quillon-records [--db PATH|URL] [--mac TEXT]... [--firmware FILE|SHA] [--since TIME]\n"
    "                       [--failed] [--format table|csv|json]\n"
    "       quillon-records --help | --version\n";

const char* const kRecordsHelp =
    "Lists the flashes in the record that quillon-station (and quillon-flash, given a record)\n"
    "writes, oldest first.\n"
    "\n"
    "  --db PATH|URL      the record: a SQLite file, or postgresql://[user@][host][:port]/db\n"
    "                     (?host=/socket/folder for a Unix socket); default\n"
    "                     $STATE_DIRECTORY/records.sqlite, else\n"
    "                     ${XDG_STATE_HOME:-~/.local/state}/quillon/records.sqlite\n"
    "  --mac TEXT         units whose MAC starts with TEXT, ignoring case and ':', '-', '.';\n"
    "                     repeat for any of several\n"
    "  --firmware FILE|SHA  flashes of this firmware: a file (its SHA-256 is computed), or\n"
    "                     a SHA-256 or its first 8 or more hex digits\n"
    "  --since TIME       flashes ended at or after TIME, UTC: 2026-03-01 or\n"
    "                     2026-03-01T10:00[:00[.000]][Z]\n"
    "  --failed           only flashes that did not end verified\n"
    "  --format FORMAT    table (default; control characters shown as U+FFFD), csv (a header\n"
    "                     row, RFC 4180 quoting, text cells starting with = + - @ get a leading\n"
    "                     '), or json (one object per line, keys the column names)\n"
    "  -h, --help         this text\n"
    "  -V, --version      the version\n"
    "\n"
    "Exit status: 0 listed (perhaps nothing), 1 the record cannot be read, 64 usage error.\n";

namespace {

bool IsHex(const QString& text) {
    static const QRegularExpression hex(QStringLiteral("^[0-9A-Fa-f]{8,64}$"));
    return hex.match(text).hasMatch();
}

bool FileSha256(const QString& path, QString& sha, QString& error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read the firmware %1: %2").arg(path, file.errorString());
        return false;
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file)) {
        error = QStringLiteral("cannot read the firmware %1: %2").arg(path, file.errorString());
        return false;
    }
    sha = QString::fromLatin1(hash.result().toHex());
    return true;
}

}  // namespace

QDateTime ParseSinceTime(const QString& text) {
    static const QRegularExpression form(QStringLiteral(
        R"(^(\d{4})-(\d{2})-(\d{2})(?:[T ](\d{2}):(\d{2})(?::(\d{2})(?:\.(\d{1,3}))?)?Z?)?$)"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch()) return {};
    const QDate date(match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt());
    int ms = 0;
    if (match.hasCaptured(7)) ms = match.captured(7).leftJustified(3, u'0').toInt();
    const QTime time(match.captured(4).toInt(), match.captured(5).toInt(), match.captured(6).toInt(), ms);
    if (!date.isValid() || !time.isValid()) return {};
    return QDateTime(date, time, Qt::UTC);
}

bool ParseRecordsOptions(const QStringList& arguments, CRecordsOptions& options, QString& error) {
    options = CRecordsOptions{};
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        QString name = arguments[i];
        QString value;
        bool hasValue = false;
        if (name.startsWith(QStringLiteral("--")) && name.contains(u'=')) {
            value = name.section(u'=', 1);
            name = name.section(u'=', 0, 0);
            hasValue = true;
        }
        auto takeValue = [&]() {
            if (hasValue) return true;
            if (i + 1 >= arguments.size()) {
                error = QStringLiteral("%1 needs a value").arg(name);
                return false;
            }
            value = arguments[++i];
            return true;
        };
        auto noValue = [&]() {
            if (!hasValue) return true;
            error = QStringLiteral("%1 takes no value").arg(name);
            return false;
        };
        if (name == QStringLiteral("-h") || name == QStringLiteral("--help")) {
            if (!noValue()) return false;
            options.mode = ERecordsMode::kHelp;
        } else if (name == QStringLiteral("-V") || name == QStringLiteral("--version")) {
            if (!noValue()) return false;
            options.mode = ERecordsMode::kVersion;
        } else if (name == QStringLiteral("--failed")) {
            if (!noValue()) return false;
            options.filter.failedOnly = true;
        } else if (name == QStringLiteral("--db")) {
            if (!takeValue()) return false;
            if (value.isEmpty()) {
                error = QStringLiteral("--db needs a path or a postgresql:// URL");
                return false;
            }
            options.db = value;
        } else if (name == QStringLiteral("--mac")) {
            if (!takeValue()) return false;
            if (MacKey(value).isEmpty()) {
                error = QStringLiteral("--mac needs the start of a MAC");
                return false;
            }
            options.macs << value;
        } else if (name == QStringLiteral("--firmware")) {
            if (!takeValue()) return false;
            options.firmware = value;
        } else if (name == QStringLiteral("--since")) {
            if (!takeValue()) return false;
            options.since = value;
            options.filter.since = ParseSinceTime(value);
            if (!options.filter.since.isValid()) {
                error = QStringLiteral("--since takes an ISO 8601 date or date-time in UTC, such as "
                                       "2026-03-01 or 2026-03-01T10:00:00Z, not \"%1\"")
                            .arg(value);
                return false;
            }
        } else if (name == QStringLiteral("--format")) {
            if (!takeValue()) return false;
            if (value == QStringLiteral("table")) {
                options.format = ERecordsFormat::kTable;
            } else if (value == QStringLiteral("csv")) {
                options.format = ERecordsFormat::kCsv;
            } else if (value == QStringLiteral("json")) {
                options.format = ERecordsFormat::kJson;
            } else {
                error = QStringLiteral("--format is table, csv or json, not \"%1\"").arg(value);
                return false;
            }
        } else {
            error = QStringLiteral("unknown argument \"%1\"").arg(name);
            return false;
        }
    }
    if (options.mode != ERecordsMode::kList) return true;
    if (options.macs.size() == 1) options.filter.mac = options.macs[0];
    if (!options.firmware.isEmpty()) {
        // A file that is there is what is meant; otherwise the text must be a hash.
        if (QFileInfo(options.firmware).isFile()) {
            if (!FileSha256(options.firmware, options.filter.firmware, error)) return false;
        } else if (IsHex(options.firmware)) {
            options.filter.firmware = options.firmware.toLower();
        } else {
            error = QStringLiteral("--firmware %1: no such file, and not a SHA-256 (8 to 64 hex digits)")
                        .arg(options.firmware);
            return false;
        }
    }
    return true;
}
