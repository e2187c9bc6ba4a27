// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <cstdint>

// The first byte of every request and reply body.
constexpr uint8_t CMD_READ_VERSION = 1;
constexpr uint8_t CMD_ERASE = 2;
constexpr uint8_t CMD_PROGRAM = 3;
constexpr uint8_t CMD_VERIFY = 4;
constexpr uint8_t CMD_EXIT = 5;
constexpr uint8_t CMD_RESET_DEFAULTS = 6;

// Wake-up variants for CMD_READ_VERSION; any other value wakes as "remotebootlind".
constexpr uint8_t WAKE_STANDARD = 0x10;
constexpr uint8_t WAKE_EXTENDED = 0x11;
constexpr int kWakeupLength = 15;

// A CMD_PROGRAM request carries up to this many records behind its command byte.
constexpr int kRecordsPerBatch = 11;

// Notifications from the worker to the dialog.
constexpr uint32_t WM_BOOT_REPLY = 1025;
constexpr uint32_t WM_BOOT_TIMEOUT = 1026;
// A request could not be sent (wParam: the system's error number); posted once per command.
constexpr uint32_t WM_BOOT_SEND_FAILED = 1027;

// The command's name as logs and traces show it; nullptr for a code that names no command.
inline const char* BootCommandName(uint8_t code) {
    switch (code) {
        case CMD_READ_VERSION:
            return "CMD_READ_VERSION";
        case CMD_ERASE:
            return "CMD_ERASE";
        case CMD_PROGRAM:
            return "CMD_PROGRAM";
        case CMD_VERIFY:
            return "CMD_VERIFY";
        case CMD_EXIT:
            return "CMD_EXIT";
        case CMD_RESET_DEFAULTS:
            return "CMD_RESET_DEFAULTS";
        default:
            return nullptr;
    }
}
