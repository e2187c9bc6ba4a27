// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <QByteArray>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QVector>

#include "FlashRecord.h"
#include "LineState.h"
#include "RecordStore.h"

// The JSON the page and its API answer. Every text comes from a unit or a file and is hostile:
// it only ever travels as a JSON string, and JsonBytes escapes '<', '>', '&' and the two line
// separators as well, so that even a reader that sniffs finds no markup.

// UTC, ISO 8601 with milliseconds; null when invalid.
QJsonValue JsonTime(const QDateTime& time);

QJsonObject UnitCardJson(const CUnitCard& card, const QDateTime& now);
QJsonObject FirmwareJson(const CFirmwareInForce& firmware);
// The line for /api/units: station, generation, database state, counters, firmware, cards.
// Counters read from the record are null while unknown.
QJsonObject LineJson(const CLineState& state, const CRecordCounts* counts, const QDateTime& now);
// Record rows as the record gives them (RecordToJson, without the id).
QJsonArray RecordsJson(const QVector<CFlashRecord>& rows);

QByteArray JsonBytes(const QJsonObject& object);
