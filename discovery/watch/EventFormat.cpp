// SPDX-License-Identifier: Apache-2.0
#include "watch/EventFormat.h"

#include "core/DisplayText.h"
#include "watch/JsonText.h"

namespace {

const char* Sign(EWatchEvent event) {
    switch (event) {
        case EWatchEvent::kAppear:
            return "+\t";
        case EWatchEvent::kUpdate:
            return "=\t";
        case EWatchEvent::kRemove:
            return "-\t";
        case EWatchEvent::kListed:
            break;
    }
    return "";
}

const char* JsonName(EWatchEvent event) {
    switch (event) {
        case EWatchEvent::kAppear:
            return "appear";
        case EWatchEvent::kUpdate:
            return "update";
        case EWatchEvent::kRemove:
            return "remove";
        case EWatchEvent::kListed:
            break;
    }
    return nullptr;
}

void AppendJsonMember(const char* key, std::string_view value, std::string* out) {
    out->push_back('"');
    out->append(key);
    out->append("\":");
    AppendJsonString(value, out);
}

}  // namespace

void AppendEventLine(EWatchEvent event, const CDeviceRow& row, bool json, std::string* out) {
    const std::string_view cells[] = {row.text, row.subItems[0], row.subItems[1], row.subItems[2]};
    if (json) {
        static constexpr const char* kKeys[] = {"name", "mac", "ip", "message"};
        out->push_back('{');
        if (const char* name = JsonName(event); name != nullptr) {
            AppendJsonMember("event", name, out);
            out->push_back(',');
        }
        for (std::size_t i = 0; i < 4; ++i) {
            if (i > 0) out->push_back(',');
            AppendJsonMember(kKeys[i], cells[i], out);
        }
        out->append("}\n");
        return;
    }
    out->append(Sign(event));
    for (std::size_t i = 0; i < 4; ++i) {
        if (i > 0) out->push_back('\t');
        AppendDisplayUtf8(cells[i], out);
    }
    out->push_back('\n');
}
