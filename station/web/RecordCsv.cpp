// SPDX-License-Identifier: Apache-2.0
#include "RecordCsv.h"

#include <QJsonObject>
#include <QStringList>

#include "RecordJson.h"

namespace {

QByteArray Cell(const QString& text, bool guardFormula) {
    QByteArray bytes = text.toUtf8();
    if (guardFormula && !bytes.isEmpty() && QByteArrayView("=+-@\t\r").contains(bytes[0]))
        bytes.prepend('\'');
    if (bytes.contains(',') || bytes.contains('"') || bytes.contains('\n') ||
        bytes.contains('\r')) {
        bytes.replace("\"", "\"\"");
        bytes = '"' + bytes + '"';
    }
    return bytes;
}

}  // namespace

QByteArray RecordsCsv(const QVector<CFlashRecord>& rows) {
    const QStringList columns = RecordColumns();
    QByteArray out = columns.join(QLatin1Char(',')).toUtf8() + "\r\n";
    QByteArrayList cells;
    for (const CFlashRecord& row : rows) {
        const QJsonObject object = RecordToJson(row, false);
        cells.clear();
        for (const QString& column : columns) {
            const QJsonValue value = object.value(column);
            // Numbers are ours; only text can come from a unit or a file.
            cells << (value.isString() ? Cell(value.toString(), true)
                                       : QByteArray::number(value.toInteger()));
        }
        out += cells.join(',');
        out += "\r\n";
    }
    return out;
}
