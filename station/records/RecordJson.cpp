// SPDX-License-Identifier: Apache-2.0
#include "RecordJson.h"

QString IsoTime(const QDateTime& time) {
    // Never a null string: bound as a value, an absent time is empty text, not NULL.
    return time.isValid() ? time.toUTC().toString(Qt::ISODateWithMs) : QStringLiteral("");
}

QDateTime FromIsoTime(const QString& text) {
    QDateTime time = QDateTime::fromString(text, Qt::ISODateWithMs);
    return time.isValid() ? time.toUTC() : time;
}

QStringList RecordColumns() {
    return {QStringLiteral("station"),  QStringLiteral("mac"),     QStringLiteral("name"),
            QStringLiteral("address"),  QStringLiteral("port"),    QStringLiteral("bootloader"),
            QStringLiteral("firmware"), QStringLiteral("sha256"),  QStringLiteral("start"),
            QStringLiteral("length"),   QStringLiteral("crc"),     QStringLiteral("started"),
            QStringLiteral("ended"),    QStringLiteral("outcome"), QStringLiteral("exit"),
            QStringLiteral("message"),  QStringLiteral("bytes"),   QStringLiteral("attempts")};
}

QJsonObject RecordToJson(const CFlashRecord& row, bool withId) {
    QJsonObject object{{QStringLiteral("station"), row.station},
                       {QStringLiteral("mac"), row.mac},
                       {QStringLiteral("name"), row.name},
                       {QStringLiteral("address"), row.address},
                       {QStringLiteral("port"), row.port},
                       {QStringLiteral("bootloader"), row.bootloader},
                       {QStringLiteral("firmware"), row.firmware},
                       {QStringLiteral("sha256"), row.sha256},
                       {QStringLiteral("start"), static_cast<qint64>(row.start)},
                       {QStringLiteral("length"), static_cast<qint64>(row.length)},
                       {QStringLiteral("crc"), static_cast<int>(row.crc)},
                       {QStringLiteral("started"), IsoTime(row.started)},
                       {QStringLiteral("ended"), IsoTime(row.ended)},
                       {QStringLiteral("outcome"), row.outcome},
                       {QStringLiteral("exit"), row.exit},
                       {QStringLiteral("message"), row.message},
                       {QStringLiteral("bytes"), row.bytes},
                       {QStringLiteral("attempts"), row.attempts}};
    if (withId) object.insert(QStringLiteral("id"), row.id);
    return object;
}

CFlashRecord RecordFromJson(const QJsonObject& object) {
    CFlashRecord row;
    row.id = object.value(QStringLiteral("id")).toString();
    row.station = object.value(QStringLiteral("station")).toString();
    row.mac = object.value(QStringLiteral("mac")).toString();
    row.name = object.value(QStringLiteral("name")).toString();
    row.address = object.value(QStringLiteral("address")).toString();
    row.port = object.value(QStringLiteral("port")).toInt();
    row.bootloader = object.value(QStringLiteral("bootloader")).toString();
    row.firmware = object.value(QStringLiteral("firmware")).toString();
    row.sha256 = object.value(QStringLiteral("sha256")).toString();
    row.start = static_cast<quint32>(object.value(QStringLiteral("start")).toInteger());
    row.length = static_cast<quint32>(object.value(QStringLiteral("length")).toInteger());
    row.crc = static_cast<quint16>(object.value(QStringLiteral("crc")).toInt());
    row.started = FromIsoTime(object.value(QStringLiteral("started")).toString());
    row.ended = FromIsoTime(object.value(QStringLiteral("ended")).toString());
    row.outcome = object.value(QStringLiteral("outcome")).toString();
    row.exit = object.value(QStringLiteral("exit")).toInt();
    row.message = object.value(QStringLiteral("message")).toString();
    row.bytes = object.value(QStringLiteral("bytes")).toInteger();
    row.attempts = object.value(QStringLiteral("attempts")).toInt();
    return row;
}

QString RecordField(const CFlashRecord& row, const QString& column) {
    const QJsonValue value = RecordToJson(row, false).value(column);
    return value.isString() ? value.toString() : QString::number(value.toInteger());
}
