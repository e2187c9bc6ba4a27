// SPDX-License-Identifier: Apache-2.0
#include "AddressEntry.h"

#include <cstdio>

namespace {

constexpr size_t kLastField = 3;
constexpr size_t kFieldDigits = 3;
constexpr unsigned long kFieldMax = 255;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

unsigned long FieldValue(const std::string& digits) {
    unsigned long value = 0;
    // Saturates well past the field's range, so a long pasted run of digits stays readable.
    for (const char c : digits) {
        value = value * 10 + static_cast<unsigned long>(c - '0');
        if (value > 999999999ul) return 999999999ul;
    }
    return value;
}

// The field that holds the caret: its index and where it starts and ends in the text.
struct CField {
    size_t index = 0, begin = 0, end = 0;
};

CField FieldAt(const std::string& text, size_t caret) {
    CField field;
    for (size_t i = 0; i < caret && i < text.size(); ++i) {
        if (text[i] != '.') continue;
        ++field.index;
        field.begin = i + 1;
    }
    const size_t dot = text.find('.', field.begin);
    field.end = dot == std::string::npos ? text.size() : dot;
    return field;
}

}  // namespace

std::string AddressRangeMessage(const std::string& field) {
    char text[96];
    std::snprintf(text, sizeof text,
                  "%.12s is not a valid entry. Specify a value between 0 and %lu.", field.c_str(),
                  kFieldMax);
    return text;
}

EAddressKey TypeAddressChar(CAddressEdit& edit, char typed, std::string& message) {
    if (edit.caret > edit.text.size()) edit.caret = edit.text.size();
    const CField field = FieldAt(edit.text, edit.caret);
    const size_t length = field.end - field.begin;
    if (typed == '.') {
        if (length == 0 || field.index == kLastField) return EAddressKey::kIgnored;
        if (field.end == edit.text.size()) edit.text += '.';
        edit.caret = field.end + 1;
        return EAddressKey::kChanged;
    }
    if (!IsDigit(typed)) return EAddressKey::kIgnored;
    if (length >= kFieldDigits) {
        if (edit.caret != field.end || field.index == kLastField) return EAddressKey::kIgnored;
        // The next field takes the digit, by its own rules; nothing moves if it refuses.
        CAddressEdit next = edit;
        if (field.end == next.text.size()) next.text += '.';
        next.caret = field.end + 1;
        const EAddressKey outcome = TypeAddressChar(next, typed, message);
        if (outcome == EAddressKey::kChanged) edit = next;
        return outcome;
    }
    std::string digits = edit.text.substr(field.begin, length);
    digits.insert(edit.caret - field.begin, 1, typed);
    const unsigned long value = FieldValue(digits);
    if (value > kFieldMax) {
        message = AddressRangeMessage(digits);
        return EAddressKey::kRefused;
    }
    edit.text.insert(edit.caret, 1, typed);
    ++edit.caret;
    return EAddressKey::kChanged;
}

EAddressKey EraseAddressChar(CAddressEdit& edit, bool backward) {
    if (edit.caret > edit.text.size()) edit.caret = edit.text.size();
    if (backward ? edit.caret == 0 : edit.caret == edit.text.size()) return EAddressKey::kIgnored;
    const size_t at = backward ? edit.caret - 1 : edit.caret;
    if (edit.text[at] == '.') {
        std::string joined = edit.text;
        joined.erase(at, 1);
        std::string unused;
        if (!CheckAddressText(joined, unused)) {
            edit.caret = backward ? at : at + 1;
            return EAddressKey::kChanged;
        }
    }
    edit.text.erase(at, 1);
    edit.caret = at;
    return EAddressKey::kChanged;
}

bool CheckAddressText(const std::string& text, std::string& message) {
    size_t begin = 0;
    for (size_t index = 0;; ++index) {
        const size_t dot = text.find('.', begin);
        const size_t end = dot == std::string::npos ? text.size() : dot;
        const std::string field = text.substr(begin, end - begin);
        bool digitsOnly = index <= kLastField;
        for (const char c : field) digitsOnly = digitsOnly && IsDigit(c);
        if (digitsOnly && FieldValue(field) > kFieldMax) {
            message = AddressRangeMessage(field);
            return false;
        }
        if (!digitsOnly || field.size() > kFieldDigits) {
            message = "Enter an IP address: four numbers from 0 to 255, separated by dots.";
            return false;
        }
        if (dot == std::string::npos) return true;
        begin = dot + 1;
    }
}
