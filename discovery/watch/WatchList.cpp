// SPDX-License-Identifier: Apache-2.0
#include "watch/WatchList.h"

#include <algorithm>

CWatchList::CWatchList(IWatchEvents& events) : m_events(events) {
    m_pending.reserve(kMaxDeviceRows + 1);
    for (int column = 0; column < kDeviceColumnCount; ++column) {
        m_widths[column] = kDeviceColumns[column].widthTwips;
    }
}

std::string_view CWatchList::ColumnKey(int position) const {
    if (position < 1 || position > kDeviceColumnCount) return {};
    return kDeviceColumns[position - 1].key;
}

int CWatchList::ColumnWidth(int position) const {
    if (position < 1 || position > kDeviceColumnCount) return 0;
    return m_widths[position - 1];
}

CResult CWatchList::SetColumnWidth(int position, int twips) {
    if (position < 1 || position > kDeviceColumnCount) return FailWith(kErrNoSuchColumn);
    if (twips < 0) return FailWith(kErrBadSize);
    m_widths[position - 1] = twips;
    return Success();
}

CWatchList::CPending* CWatchList::FindPending(int row) {
    // The latest touched rows are at the back.
    for (auto it = m_pending.rbegin(); it != m_pending.rend(); ++it) {
        if (it->row == row) return &*it;
    }
    return nullptr;
}

void CWatchList::Mark(int row, uint8_t what) {
    if (CPending* pending = FindPending(row)) {
        pending->what |= what;
    } else {
        m_pending.push_back({row, what});
    }
}

CResult CWatchList::AddRow(std::string_view text, int* row) {
    *row = m_rows.Append(text);
    m_pending.push_back({*row, kAppeared});
    return Success();
}

// A row that appeared and went within one procedure was never told, so its removal is not either.
void CWatchList::TellRemoval(int row) {
    const CPending* pending = FindPending(row);
    if (m_rows.IsDevice(row) && (pending == nullptr || (pending->what & kAppeared) == 0)) {
        m_events.OnEvent(EWatchEvent::kRemove, m_rows.Row(row));
    }
}

CResult CWatchList::RemoveRow(int row) {
    if (CResult r = m_rows.CheckRow(row); !r.Ok()) return r;
    TellRemoval(row);
    m_rows.Remove(row);
    std::erase_if(m_pending, [row](const CPending& pending) { return pending.row == row; });
    for (CPending& pending : m_pending) {
        if (pending.row > row) --pending.row;
    }
    return Success();
}

CResult CWatchList::Clear() {
    for (int row = 1; row <= m_rows.Count(); ++row) TellRemoval(row);
    m_rows.Clear();
    m_pending.clear();
    return Success();
}

CResult CWatchList::SetRowText(int row, std::string_view text) {
    bool changed = false;
    const CResult result = m_rows.SetText(row, text, &changed);
    if (changed) Mark(row, kChanged);
    return result;
}

CResult CWatchList::SetSubItem(int row, int index, std::string_view text) {
    bool changed = false;
    const CResult result = m_rows.SetSubItem(row, index, text, &changed);
    if (changed) Mark(row, kChanged);
    return result;
}

void CWatchList::Flush() {
    std::sort(m_pending.begin(), m_pending.end(),
              [](const CPending& a, const CPending& b) { return a.row < b.row; });
    for (const CPending& pending : m_pending) {
        // The placeholder is no unit: it appears and goes without a word.
        if (m_rows.IsDevice(pending.row)) {
            m_events.OnEvent(
                (pending.what & kAppeared) != 0 ? EWatchEvent::kAppear : EWatchEvent::kUpdate,
                m_rows.Row(pending.row));
        }
    }
    m_pending.clear();
}
