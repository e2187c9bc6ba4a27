// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <cstddef>
#include <string>

// The IP address box's keyboard rules, kept apart from any window system: four dotted fields of
// 0 to 255 (leading zeros allowed, empty fields read as 0). A value that does not fit is
// refused with a message and never turned into another number.
struct CAddressEdit {
    std::string text;
    size_t caret = 0;
};

enum class EAddressKey {
    kChanged,  // text or caret moved: show the edit
    kIgnored,  // the key does nothing here
    kRefused,  // the key would make a bad field: the message says why
};

// One typed character at the caret. A '.' or a fourth digit moves on to the next field (the
// digit then starts it); a '.' in an empty field or in the last field is ignored.
EAddressKey TypeAddressChar(CAddressEdit& edit, char typed, std::string& message);

// Backspace (backward) or Delete at the caret. A dot whose removal would join two fields into a
// bad one is stepped over instead.
EAddressKey EraseAddressChar(CAddressEdit& edit, bool backward);

// Text set or pasted whole: up to four dotted fields of at most three digits, each 0 to 255.
bool CheckAddressText(const std::string& text, std::string& message);

// "300 is not a valid entry. Specify a value between 0 and 255."
std::string AddressRangeMessage(const std::string& field);
