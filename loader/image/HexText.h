// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <cstdint>
#include <cstdio>

// Reads one line the way a text-mode stream delivers it: a CR right before an LF is dropped so
// that CR LF files read exactly like LF files; a lone CR stays a character. At most size - 1
// characters are stored, stopping after the line break, and a terminator follows them.
// Returns the number of characters stored; 0 means nothing could be read (end of file).
// Must not be called with size < 2.
int ReadTextLine(FILE* file, char* buffer, int size);

// Turns the text pairwise into bytes, stopping at the first pair that reaches the terminator.
// A pair yields the value of its leading hexadecimal digits: "3A" gives 0x3A, "A\n" gives 0x0A
// (the odd last digit beside the line break), a pair that starts with a non-digit gives 0.
// The destination needs room for strlen(text) / 2 bytes.
uint16_t ConvertPairs(const char* text, uint8_t* destination);
