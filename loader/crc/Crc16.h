// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <cstdint>

// CRC-16/XMODEM (poly 0x1021, init 0, no reflection, no final XOR), four bits at a time.
uint16_t Crc16(const uint8_t* data, uint32_t length);

// Continues a CRC over more bytes, so that a range can be checksummed in pieces.
uint16_t Crc16Update(uint16_t crc, const uint8_t* data, uint32_t length);
