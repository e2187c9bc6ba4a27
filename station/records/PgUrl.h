// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <QString>

// A postgresql:// URL as QSqlDatabase settings:
//   postgresql://[user[:password]@][host][:port]/dbname[?host=/socket/dir&port=N&key=value...]
// A host that is a folder (given in the query, or percent-encoded) names the Unix socket's folder;
// other query keys (connect_timeout, sslmode, ...) become connection options.
struct CPgSettings {
    QString host;
    int port = -1;  // -1: the driver's default
    QString user;
    QString password;
    QString database;
    QString options;  // "key=value;key=value" for QSqlDatabase::setConnectOptions
};

bool ParsePgUrl(const QString& url, CPgSettings& settings, QString& error);
