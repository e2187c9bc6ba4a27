// SPDX-License-Identifier: Apache-2.0
#include "RecordingLayer.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

CRecordingList::CRecordingList() {
    for (const CColumnDesign& column : kDeviceColumns) {
        m_keys.emplace_back(column.key);
        m_widths.push_back(column.widthTwips);
    }
}

std::string_view CRecordingList::ColumnKey(int position) const {
    if (position < 1 || position > ColumnCount()) return {};
    return m_keys[static_cast<std::size_t>(position - 1)];
}

int CRecordingList::ColumnWidth(int position) const {
    if (position < 1 || position > ColumnCount()) return 0;
    return m_widths[static_cast<std::size_t>(position - 1)];
}

CResult CRecordingList::SetColumnWidth(int position, int twips) {
    if (CResult r = Check("SetColumnWidth"); !r.Ok()) return r;
    if (position < 1 || position > ColumnCount()) return FailWith(kErrNoSuchColumn);
    if (twips < 0) return FailWith(kErrBadSize);
    m_widths[static_cast<std::size_t>(position - 1)] = twips;
    return {};
}

CResult CRecordingList::Move(int left, int top) {
    if (CResult r = Check("Move"); !r.Ok()) return r;
    m_left = left;
    m_top = top;
    return {};
}

CResult CRecordingList::SetSize(int width, int height) {
    if (width < 0 || height < 0) return FailWith(kErrBadSize);
    m_width = width;
    m_height = height;
    return {};
}

CResult CRecordingList::AddRow(std::string_view text, int* row) {
    if (CResult r = Check("AddRow"); !r.Ok()) return r;
    *row = m_rows.Append(text);
    return {};
}

CResult CRecordingList::RemoveRow(int row) {
    if (CResult r = Check("RemoveRow"); !r.Ok()) return r;
    return m_rows.Remove(row);
}

CResult CRecordingList::Clear() {
    if (CResult r = Check("Clear"); !r.Ok()) return r;
    m_rows.Clear();
    return {};
}

CResult CRecordingList::RowText(int row, std::string_view* text) const {
    return m_rows.Text(row, text);
}

CResult CRecordingList::SetRowText(int row, std::string_view text) {
    if (CResult r = Check("SetRowText"); !r.Ok()) return r;
    return m_rows.SetText(row, text);
}

CResult CRecordingList::SubItem(int row, int index, std::string_view* text) const {
    if (CResult r = Check("SubItem"); !r.Ok()) return r;
    return m_rows.SubItem(row, index, text);
}

CResult CRecordingList::SetSubItem(int row, int index, std::string_view text) {
    if (CResult r = Check("SetSubItem"); !r.Ok()) return r;
    return m_rows.SetSubItem(row, index, text);
}

CResult CRecordingList::SmallIcon(int row, std::string_view* key) const {
    return m_rows.Icon(row, key);
}

CResult CRecordingList::SetSmallIcon(int row, std::string_view key) {
    if (CResult r = Check("SetSmallIcon"); !r.Ok()) return r;
    return m_rows.SetIcon(row, key);
}

CResult CRecordingList::Tag(int row, int* tag) const {
    if (CResult r = Check("Tag"); !r.Ok()) return r;
    return m_rows.Tag(row, tag);
}

CResult CRecordingList::SetTag(int row, int tag) {
    if (CResult r = Check("SetTag"); !r.Ok()) return r;
    return m_rows.SetTag(row, tag);
}

CResult CRecordingList::FindDevice(std::string_view mac, int* row) const {
    *row = 0;
    if (CResult r = Check("FindDevice"); !r.Ok()) return r;
    *row = m_rows.FindDevice(mac);
    return {};
}

CResult CRecordingList::MarkHeard(int row) {
    if (CResult r = Check("MarkHeard"); !r.Ok()) return r;
    return m_rows.MarkHeard(row);
}

const CDeviceRow& CRecordingList::Row(int row) const {
    if (!m_rows.HasRow(row)) throw std::out_of_range("no such row");
    return m_rows.Row(row);
}

std::vector<std::string> CRecordingList::Texts() const {
    std::vector<std::string> texts;
    for (int row = 1; row <= m_rows.Count(); ++row) texts.push_back(m_rows.Row(row).text);
    return texts;
}

void CRecordingList::DropColumn(std::string_view key) {
    const auto found = std::find(m_keys.begin(), m_keys.end(), key);
    if (found == m_keys.end()) return;
    m_widths.erase(m_widths.begin() + (found - m_keys.begin()));
    m_keys.erase(found);
}

CResult CRecordingForm::SetOuterWidth(int twips) {
    if (CResult r = Check("SetOuterWidth"); !r.Ok()) return r;
    m_clientWidth = twips - m_frameWidth;
    return {};
}

CResult CRecordingForm::SetOuterHeight(int twips) {
    if (CResult r = Check("SetOuterHeight"); !r.Ok()) return r;
    m_clientHeight = twips - m_frameHeight;
    return {};
}

CResult CRecordingTimer::SetInterval(int milliseconds) {
    if (CResult r = Check("SetInterval"); !r.Ok()) return r;
    m_interval = milliseconds;
    return {};
}

CResult CRecordingTimer::Start() {
    if (CResult r = Check("Start"); !r.Ok()) return r;
    m_running = true;
    return {};
}

void CRecordingMessageBox::ShowError(std::string_view title, std::string_view text) {
    m_titles.emplace_back(title);
    m_texts.emplace_back(text);
    if (m_whileOpen) m_whileOpen();
}

CResult CRecordingSocket::SetProtocolUdp() {
    if (CResult r = Check("SetProtocolUdp"); !r.Ok()) return r;
    m_open = true;
    return {};
}

CResult CRecordingSocket::Bind(uint16_t port) {
    if (CResult r = Check("Bind"); !r.Ok()) return r;
    if (!m_open) return FailWith(kErrListenerNotOpen);
    m_bound = true;
    m_boundPort = port;
    return {};
}

CResult CRecordingSocket::ReadDatagram(char* buffer, std::size_t capacity, std::size_t* length,
                                       uint32_t* sender) {
    *length = 0;
    if (CResult r = Check("ReadDatagram"); !r.Ok()) {
        if (!m_queue.empty()) m_queue.pop_front();
        return r;
    }
    if (m_queue.empty()) return {};
    const CQueuedDatagram& next = m_queue.front();
    *length = std::min(capacity, next.payload.size());
    std::memcpy(buffer, next.payload.data(), *length);
    *sender = next.sender;
    m_queue.pop_front();
    return {};
}
