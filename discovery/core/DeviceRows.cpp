#include "core/DeviceRows.h"

namespace {

bool Assign(std::string& cell, std::string_view text, bool* changed) {
    const bool differs = cell != text;
    if (differs) cell.assign(text);
    if (changed != nullptr) *changed = differs;
    return differs;
}

}  // namespace

CDeviceRowStore::CDeviceRowStore() {
    // The list never holds more; growing it under a flood would move every row.
    m_rows.reserve(kMaxDeviceRows + 1);
}

CResult CDeviceRowStore::CheckRow(int row) const {
    return HasRow(row) ? Success() : FailWith(kErrRowOutOfRange);
}

CResult CDeviceRowStore::CheckSubItem(int row, int index, bool forWriting) const {
    if (!HasRow(row)) return FailWith(kErrRowOutOfRange);
    if (index < (forWriting ? 1 : 0) || index > kSubItemCount) {
        return FailWith(kErrSubItemOutOfRange);
    }
    return Success();
}

CResult CDeviceRowStore::CheckIcon(std::string_view key) {
    return key == kIconNone || key == kIconAdd || key == kIconRemove ? Success()
                                                                     : FailWith(kErrNoSuchImage);
}

int CDeviceRowStore::Append(std::string_view text) {
    m_rows.emplace_back();
    m_rows.back().text.assign(text);
    return Count();
}

CResult CDeviceRowStore::Remove(int row) {
    if (CResult r = CheckRow(row); !r.Ok()) return r;
    m_rows.erase(m_rows.begin() + (row - 1));
    return Success();
}

CResult CDeviceRowStore::Text(int row, std::string_view* text) const {
    if (CResult r = CheckRow(row); !r.Ok()) return r;
    *text = Row(row).text;
    return Success();
}

CResult CDeviceRowStore::SetText(int row, std::string_view text, bool* changed) {
    if (CResult r = CheckRow(row); !r.Ok()) return r;
    Assign(Mutable(row).text, text, changed);
    return Success();
}

CResult CDeviceRowStore::SubItem(int row, int index, std::string_view* text) const {
    if (CResult r = CheckSubItem(row, index, false); !r.Ok()) return r;
    *text = index == 0 ? Row(row).text : Row(row).subItems[static_cast<std::size_t>(index - 1)];
    return Success();
}

CResult CDeviceRowStore::SetSubItem(int row, int index, std::string_view text, bool* changed) {
    if (CResult r = CheckSubItem(row, index, true); !r.Ok()) return r;
    Assign(Mutable(row).subItems[static_cast<std::size_t>(index - 1)], text, changed);
    return Success();
}

CResult CDeviceRowStore::Icon(int row, std::string_view* key) const {
    if (CResult r = CheckRow(row); !r.Ok()) return r;
    *key = Row(row).icon;
    return Success();
}

CResult CDeviceRowStore::SetIcon(int row, std::string_view key, bool* changed) {
    if (CResult r = CheckRow(row); !r.Ok()) return r;
    if (CResult r = CheckIcon(key); !r.Ok()) return r;
    // Keep a view of our own constant, never of the caller's text.
    const std::string_view own = key == kIconAdd      ? kIconAdd
                                 : key == kIconRemove ? kIconRemove
                                                      : kIconNone;
    const bool differs = Row(row).icon != own;
    Mutable(row).icon = own;
    if (changed != nullptr) *changed = differs;
    return Success();
}

CResult CDeviceRowStore::Tag(int row, int* tag) const {
    if (CResult r = CheckRow(row); !r.Ok()) return r;
    *tag = Row(row).tag;
    return Success();
}

CResult CDeviceRowStore::SetTag(int row, int tag) {
    if (CResult r = CheckRow(row); !r.Ok()) return r;
    Mutable(row).tag = tag;
    return Success();
}
