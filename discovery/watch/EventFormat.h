// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <string>

#include "core/DeviceRows.h"

enum class EWatchEvent {
    kAppear,  // a unit heard for the first time
    kUpdate,  // a listed unit's name, address or message changed
    kRemove,  // a unit removed from the list
    kListed,  // a unit in the list that --once prints at the end; not an event
};

// Appends one line for the row: the event's sign ("+", "=", "-"; none for kListed) and the name,
// MAC, address and message, tab-separated and shown as the window shows them, so that no field
// can break a line or a column. With json, one JSON object instead, with "event" ("appear",
// "update", "remove"; absent for kListed), "name", "mac", "ip" and "message".
void AppendEventLine(EWatchEvent event, const CDeviceRow& row, bool json, std::string* out);
