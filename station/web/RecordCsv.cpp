#include "RecordCsv.h"

#include <QStringList>

#include "PageJson.h"

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

QByteArray Text(const QString& text) { return Cell(text, true); }
QByteArray Number(qint64 value) { return QByteArray::number(value); }
QByteArray Time(const QDateTime& time) { return Cell(JsonTime(time).toString(), false); }

}  // namespace

QByteArray RecordsCsv(const QVector<CFlashRecord>& rows) {
    QByteArray out =
        "station,mac,name,address,port,bootloader,firmware,sha256,start,length,crc,started,ended,"
        "outcome,exit,message,bytes,attempts\r\n";
    for (const CFlashRecord& r : rows) {
        const QByteArrayList cells = {
            Text(r.station),   Text(r.mac),        Text(r.name),      Text(r.address),
            Number(r.port),    Text(r.bootloader), Text(r.firmware),  Text(r.sha256),
            Number(r.start),   Number(r.length),   Number(r.crc),     Time(r.started),
            Time(r.ended),     Text(r.outcome),    Number(r.exit),    Text(r.message),
            Number(r.bytes),   Number(r.attempts)};
        out += cells.join(',');
        out += "\r\n";
    }
    return out;
}
