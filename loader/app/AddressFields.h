// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <cstdint>
#include <string>

// The IP address control's value: first octet in the most significant byte.
uint32_t AddressFromFields(const uint8_t fields[4]);
void FieldsFromAddress(uint32_t address, uint8_t fields[4]);

// "a.b.c.d" with up to four fields of 0 to 255; empty or missing fields read as 0.
// False when a field is not a number in that range or there are more than four.
bool ParseDottedFields(const std::string& text, uint8_t fields[4]);
std::string FormatDottedFields(const uint8_t fields[4]);
