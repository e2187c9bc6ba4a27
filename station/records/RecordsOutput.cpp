// SPDX-License-Identifier: Apache-2.0
#include "RecordsOutput.h"

#include <QJsonDocument>

#include "RecordJson.h"

namespace {

constexpr qsizetype kMostCellWidth = 40;

bool IsControl(char16_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029 ||
           (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0x200E || c == 0x200F ||
           c == 0x061C;
}

// Columns whose values are numbers, never neutralised: -1 stays -1.
bool IsNumberColumn(const QString& column) {
    static const QStringList numbers{QStringLiteral("port"),  QStringLiteral("start"), QStringLiteral("length"),
                                     QStringLiteral("crc"),   QStringLiteral("exit"),  QStringLiteral("bytes"),
                                     QStringLiteral("attempts")};
    return numbers.contains(column);
}

QString CsvCell(const QString& column, QString text) {
    if (!IsNumberColumn(column) && !text.isEmpty()) {
        const QChar first = text.front();
        if (first == u'=' || first == u'+' || first == u'-' || first == u'@' || first == u'\t' || first == u'\r') {
            text.prepend(u'\'');
        }
    }
    if (text.contains(u',') || text.contains(u'"') || text.contains(u'\n') || text.contains(u'\r') ||
        text.startsWith(u'\'')) {
        text.replace(QStringLiteral("\""), QStringLiteral("\"\""));
        text = u'"' + text + u'"';
    }
    return text;
}

QString Cut(const QString& text, qsizetype width) {
    return text.size() <= width ? text : text.left(width - 1) + QChar(0x2026);
}

}  // namespace

QString DisplayText(const QString& text) {
    QString shown = text;
    for (QChar& c : shown) {
        if (IsControl(c.unicode())) c = QChar(0xFFFD);
    }
    return shown;
}

QByteArray RecordsTable(const QVector<CFlashRecord>& rows) {
    const QStringList header{QStringLiteral("ENDED"),   QStringLiteral("STATION"),  QStringLiteral("MAC"),
                             QStringLiteral("NAME"),    QStringLiteral("ADDRESS"),  QStringLiteral("FIRMWARE"),
                             QStringLiteral("SHA256"),  QStringLiteral("CRC"),      QStringLiteral("OUTCOME"),
                             QStringLiteral("BYTES"),   QStringLiteral("ATTEMPTS"), QStringLiteral("MESSAGE")};
    QVector<QStringList> lines{header};
    for (const CFlashRecord& row : rows) {
        lines.append({IsoTime(row.ended), row.station, row.mac, row.name, row.address, row.firmware,
                      row.sha256.left(12), QStringLiteral("%1").arg(row.crc, 4, 16, QLatin1Char('0')).toUpper(),
                      row.outcome, QString::number(row.bytes), QString::number(row.attempts), row.message});
    }
    QVector<qsizetype> widths(header.size(), 0);
    for (QStringList& line : lines) {
        for (qsizetype i = 0; i < line.size(); ++i) {
            line[i] = DisplayText(line[i]);
            // The message is last and may run on.
            if (i + 1 < line.size()) line[i] = Cut(line[i], kMostCellWidth);
            widths[i] = std::max(widths[i], line[i].size());
        }
    }
    QString text;
    for (const QStringList& line : lines) {
        for (qsizetype i = 0; i < line.size(); ++i) {
            if (i + 1 < line.size()) {
                text += line[i].leftJustified(widths[i]) + QStringLiteral("  ");
            } else {
                text += line[i];
            }
        }
        while (text.endsWith(u' ')) text.chop(1);
        text += u'\n';
    }
    return text.toUtf8();
}

QByteArray RecordsCsv(const QVector<CFlashRecord>& rows) {
    const QStringList columns = RecordColumns();
    QString text = columns.join(u',') + QStringLiteral("\r\n");
    for (const CFlashRecord& row : rows) {
        QStringList cells;
        for (const QString& column : columns) cells << CsvCell(column, RecordField(row, column));
        text += cells.join(u',') + QStringLiteral("\r\n");
    }
    return text.toUtf8();
}

QByteArray RecordsJsonLines(const QVector<CFlashRecord>& rows) {
    QByteArray text;
    for (const CFlashRecord& row : rows) {
        text += QJsonDocument(RecordToJson(row, false)).toJson(QJsonDocument::Compact) + '\n';
    }
    return text;
}
