// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <QStringList>

// The record's tables, version by version. Open brings an older record up step by step; a
// record newer than this program is refused rather than guessed at.
//   1: schema, records (each row once, by id)
//   2: claims (one station's lease per MAC); indexes for the station's look-ups and the page
inline constexpr int kSchemaVersion = 2;

// PostgreSQL advisory lock taken while the schema is checked, so that stations starting
// together create it once.
inline constexpr long long kSchemaLockKey = 0x51756c6c6f6e;

QStringList SchemaStep(int version, bool postgres);
