// SPDX-License-Identifier: Apache-2.0
#include "PageJson.h"

#include <QJsonDocument>

#include "RecordJson.h"

QJsonValue JsonTime(const QDateTime& time) {
    if (!time.isValid()) return QJsonValue(QJsonValue::Null);
    return time.toUTC().toString(Qt::ISODateWithMs);
}

QJsonObject UnitCardJson(const CUnitCard& card, const QDateTime& now) {
    QJsonObject o;
    o[QStringLiteral("mac")] = card.mac;
    o[QStringLiteral("name")] = card.name;
    o[QStringLiteral("address")] = card.address;
    o[QStringLiteral("stage")] = card.stage;
    o[QStringLiteral("done")] = card.done;
    o[QStringLiteral("total")] = card.total;
    int percent = 0;
    if (card.total > 0)
        percent = static_cast<int>(qBound(qint64{0}, card.done * 100 / card.total, qint64{100}));
    if (card.stage == QLatin1String("verifying") || card.stage == QLatin1String("verified"))
        percent = 100;
    o[QStringLiteral("percent")] = percent;
    o[QStringLiteral("started")] = JsonTime(card.started);
    o[QStringLiteral("ended")] = JsonTime(card.ended);
    qint64 elapsed = 0;
    if (card.started.isValid())
        elapsed = qMax<qint64>(0, card.started.msecsTo(card.ended.isValid() ? card.ended : now));
    o[QStringLiteral("elapsed_ms")] = elapsed;
    o[QStringLiteral("message")] = card.message;
    o[QStringLiteral("failures")] = card.failures;
    o[QStringLiteral("last_heard")] = JsonTime(card.lastHeard);
    return o;
}

QJsonObject FirmwareJson(const CFirmwareInForce& firmware) {
    QJsonObject o;
    o[QStringLiteral("file")] = firmware.file;
    o[QStringLiteral("sha256")] = firmware.sha256;
    o[QStringLiteral("start")] = static_cast<qint64>(firmware.start);
    o[QStringLiteral("length")] = static_cast<qint64>(firmware.length);
    o[QStringLiteral("crc")] = firmware.crc;
    o[QStringLiteral("since")] = JsonTime(firmware.since);
    o[QStringLiteral("reload_refused")] = firmware.reloadRefused.isEmpty()
                                              ? QJsonValue(QJsonValue::Null)
                                              : QJsonValue(firmware.reloadRefused);
    return o;
}

QJsonObject LineJson(const CLineState& state, const CRecordCounts* counts, const QDateTime& now) {
    QJsonObject o;
    o[QStringLiteral("station")] = state.station;
    // A double holds every generation a station reaches in its life.
    o[QStringLiteral("generation")] = static_cast<qint64>(state.generation);
    o[QStringLiteral("now")] = JsonTime(now);
    o[QStringLiteral("database_down")] = state.databaseDown;
    QJsonObject c;
    const QJsonValue unknown(QJsonValue::Null);
    c[QStringLiteral("verified")] = counts ? QJsonValue(counts->verified) : unknown;
    c[QStringLiteral("failed")] = counts ? QJsonValue(counts->failed) : unknown;
    c[QStringLiteral("in_progress")] = state.running;
    c[QStringLiteral("verified_last_hour")] =
        counts ? QJsonValue(counts->verifiedLastHour) : unknown;
    o[QStringLiteral("counts")] = c;
    o[QStringLiteral("firmware")] = FirmwareJson(state.firmware);
    QJsonArray units;
    for (const CUnitCard& card : state.units) units.append(UnitCardJson(card, now));
    o[QStringLiteral("units")] = units;
    return o;
}

QJsonArray RecordsJson(const QVector<CFlashRecord>& rows) {
    QJsonArray a;
    for (const CFlashRecord& row : rows) a.append(RecordToJson(row, false));
    return a;
}

QByteArray JsonBytes(const QJsonObject& object) {
    const QByteArray raw = QJsonDocument(object).toJson(QJsonDocument::Compact);
    // These bytes occur only inside strings in compact JSON, so escaping them keeps the meaning.
    QByteArray out;
    out.reserve(raw.size() + 16);
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == '<')
            out += "\\u003c";
        else if (c == '>')
            out += "\\u003e";
        else if (c == '&')
            out += "\\u0026";
        else if (c == '\xe2' && i + 2 < raw.size() && raw[i + 1] == '\x80' &&
                 (raw[i + 2] == '\xa8' || raw[i + 2] == '\xa9')) {
            out += raw[i + 2] == '\xa8' ? "\\u2028" : "\\u2029";
            i += 2;
        } else
            out += c;
    }
    out += '\n';
    return out;
}
