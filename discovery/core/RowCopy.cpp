// SPDX-License-Identifier: Apache-2.0
#include "core/RowCopy.h"

#include "core/DisplayText.h"

namespace {

void AppendHeaders(std::string* text) {
    for (int column = 0; column < kDeviceColumnCount; ++column) {
        if (column > 0) text->push_back('\t');
        text->append(kDeviceColumns[column].header);
    }
    text->push_back('\n');
}

void AppendRow(const CDeviceRow& row, std::string* text) {
    AppendDisplayUtf8(row.text, text);
    for (const std::string& cell : row.subItems) {
        text->push_back('\t');
        AppendDisplayUtf8(cell, text);
    }
    text->push_back('\n');
}

}  // namespace

bool CopyableAddress(const CDeviceRowStore& rows, int row, std::string_view* address) {
    if (!rows.IsDevice(row)) return false;
    *address = rows.Row(row).subItems[1];
    return !address->empty();
}

bool CopyRowText(const CDeviceRowStore& rows, int row, std::string* text) {
    text->clear();
    if (!rows.IsDevice(row)) return false;
    AppendHeaders(text);
    AppendRow(rows.Row(row), text);
    return true;
}

void CopyAllRowsText(const CDeviceRowStore& rows, std::string* text) {
    text->clear();
    AppendHeaders(text);
    for (int row = 1; row <= rows.Count(); ++row) {
        if (rows.IsDevice(row)) AppendRow(rows.Row(row), text);
    }
}
