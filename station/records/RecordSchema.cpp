// SPDX-License-Identifier: Apache-2.0
#include "RecordSchema.h"

QStringList SchemaStep(int version, bool postgres) {
    switch (version) {
        case 1:
            // Times are ISO 8601 text in UTC with milliseconds: they sort as they read, on both
            // databases alike.
            return {QStringLiteral("CREATE TABLE records ("
                                   "seq %1, "
                                   "id TEXT NOT NULL UNIQUE, "
                                   "station TEXT NOT NULL, mac TEXT NOT NULL, name TEXT NOT NULL, "
                                   "address TEXT NOT NULL, port INTEGER NOT NULL, bootloader TEXT NOT NULL, "
                                   "firmware TEXT NOT NULL, sha256 TEXT NOT NULL, start BIGINT NOT NULL, "
                                   "length BIGINT NOT NULL, crc INTEGER NOT NULL, "
                                   "started TEXT NOT NULL, ended TEXT NOT NULL, outcome TEXT NOT NULL, "
                                   "exit INTEGER NOT NULL, message TEXT NOT NULL, bytes BIGINT NOT NULL, "
                                   "attempts INTEGER NOT NULL)")
                        .arg(postgres ? QStringLiteral("BIGSERIAL PRIMARY KEY")
                                      : QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT"))};
        case 2:
            return {QStringLiteral("CREATE TABLE claims (mac TEXT PRIMARY KEY, station TEXT NOT NULL, "
                                   "lease_end BIGINT NOT NULL)"),
                    QStringLiteral("CREATE INDEX claims_station ON claims (station)"),
                    QStringLiteral("CREATE INDEX records_unit ON records (mac, sha256)"),
                    QStringLiteral("CREATE INDEX records_ended ON records (ended)")};
        default:
            return {};
    }
}
