// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <QString>
#include <QStringList>

#include "WebOptions.h"

// The exit statuses quillon-station shares with quillon-flash where they mean the same.
inline constexpr int kStationExitFailure = 1;       // the record or the listener could not open
inline constexpr int kStationExitBadFirmware = 3;   // the firmware file was refused at start
inline constexpr int kStationExitUsage = 64;

enum class EStationMode { kRun, kHelp, kVersion };

struct CStationOptions {
    EStationMode mode = EStationMode::kRun;
    QString firmware;  // as given

    quint16 announcePort = 30303;  // 0 picks a free port (tests)
    quint16 port = 69;             // the bootloader's, the same for every unit on a line

    QStringList macs;  // --mac, repeatable
    QString nameGlob;  // --name
    bool any = false;

    int retryAfterSeconds = 30;
    int maxFailures = 3;
    bool retryFailed = false;
    int jobs = 8;

    // Passed on to quillon-flash; 0 or false: not passed.
    int attempts = 0;
    int programTries = 0;
    bool resetDefaults = false;
    bool extendedTimeout = false;

    bool json = false;
    QString station;  // default the host name
    QString db;       // empty: the default record target
    int leaseSeconds = 120;

    QString http = QStringLiteral("127.0.0.1:8080");  // or "off"
    QString httpTokenFile;
    CWebOptions web;  // --http as parsed; the token is read at start
    QString flasher;  // empty: beside quillon-station, else on PATH

    bool HasFilter() const { return !macs.isEmpty() || !nameGlob.isEmpty(); }
};

// Fills options from the command line; false with a one-line reason in error.
bool ParseStationOptions(int argc, const char* const* argv, CStationOptions& options,
                         QString& error);

extern const char* const kStationUsage;
QString StationHelp();
