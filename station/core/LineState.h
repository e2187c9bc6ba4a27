// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <QDateTime>
#include <QMap>
#include <QString>

// What the station knows of its line, for the human lines, the JSON events and the live page.
// Lives on the station's one thread; the page reads it there too.

// One unit heard on the line, keyed by its MAC.
struct CUnitCard {
    QString mac;      // as announced (hostile text: escape wherever shown)
    QString name;     // as announced
    QString address;  // dotted quad of the last announce
    // "waiting" (heard, nothing to do yet), "claimed", "connecting", "resetting", "erasing",
    // "programming", "verifying", "verified", "failed", "attention", "interrupted",
    // "elsewhere" (another station holds it), "ignored" (outside the filter: never woken)
    QString stage;
    qint64 done = 0;   // bytes programmed
    qint64 total = 0;  // bytes to program, 0 until known
    QDateTime started;  // this flash's start (UTC), invalid when none
    QDateTime ended;    // invalid while running
    QString message;    // the last result's message, or why it is skipped
    int failures = 0;   // for the firmware in force
    QDateTime lastHeard;
};

// The firmware in force, and what the last reload (SIGHUP) said.
struct CFirmwareInForce {
    QString file;    // file name as given
    QString sha256;  // lower-case hex
    quint32 start = 0;
    quint32 length = 0;
    quint16 crc = 0;
    QDateTime since;       // when it came into force
    QString reloadRefused;  // empty, or why the last reload was refused (the old one stays)
};

struct CLineState {
    QString station;  // --station
    QMap<QString, CUnitCard> units;
    CFirmwareInForce firmware;
    int running = 0;  // flashes in progress on this station
    bool databaseDown = false;  // results go to the journal; nothing new starts
    // Bumped on every change, so that a reader can tell whether anything changed.
    quint64 generation = 0;
};
