// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <string>
#include <string_view>

#include "core/DeviceRows.h"

// What the list's Copy commands put on the clipboard. Text is UTF-8, each announce byte shown as
// the list shows it; cells are separated by tabs and rows end with a line break.

// The row's IP address; false for the placeholder or a row without one, which must leave the
// clipboard as it was.
bool CopyableAddress(const CDeviceRowStore& rows, int row, std::string_view* address);
// The column headers and then the row; false for the placeholder.
bool CopyRowText(const CDeviceRowStore& rows, int row, std::string* text);
// The column headers and then every device row, in list order.
void CopyAllRowsText(const CDeviceRowStore& rows, std::string* text);
