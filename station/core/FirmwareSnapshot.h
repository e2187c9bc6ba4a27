// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <QString>

#include "LineState.h"

// The firmware in force: the file as given, and the station's private copy that every flash
// reads, so that a file changing on disk is never flashed unless SIGHUP accepted it.
struct CFirmwareSnapshot {
    CFirmwareInForce identity;  // file, sha256, start, length, crc, since
    QString copy;               // the private copy's path
};

// Copies file into folder (atomically, named after the station and the SHA-256), hashes the copy
// and has quillon-flash check it (--image-info: the verify's start, length and CRC). false with
// the reason when the file cannot be read or is refused; then no copy is left behind.
bool TakeFirmwareSnapshot(const QString& file, const QString& folder, const QString& station,
                          const QString& flasher, CFirmwareSnapshot& snapshot, QString& error);

// Removes the copies of this station's earlier firmware in folder, all but keep.
void RemoveOldSnapshots(const QString& folder, const QString& station, const QString& keep);
