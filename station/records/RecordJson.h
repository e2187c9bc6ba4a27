// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <QJsonObject>
#include <QStringList>

#include "FlashRecord.h"

// A row as a JSON object whose keys are the column names, times as ISO 8601 UTC with
// milliseconds. The journal keeps the id too; quillon-records shows no id.
QJsonObject RecordToJson(const CFlashRecord& row, bool withId = true);
CFlashRecord RecordFromJson(const QJsonObject& object);

// UTC, ISO 8601 with milliseconds ("2026-03-01T10:00:00.123Z"); an invalid time is "".
QString IsoTime(const QDateTime& time);
QDateTime FromIsoTime(const QString& text);

// The shown columns, in their order: quillon-records' table, CSV header and JSON keys.
QStringList RecordColumns();
// One shown column's value as text (numbers in decimal, times in ISO 8601).
QString RecordField(const CFlashRecord& row, const QString& column);
