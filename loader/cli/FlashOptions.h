#pragma once
#include <cstdint>
#include <string>

// Exit statuses of quillon-flash, for scripts.
enum EFlashExit : int {
    kExitVerified = 0,
    kExitNoResponse = 1,
    kExitVerifyFailed = 2,
    kExitBadFirmware = 3,
    kExitSocketError = 4,
    kExitRefused = 5,  // the unit can't do what was asked (reset on a bootloader before 1.04)
    kExitUsage = 64,
};

enum class EFlashMode { kFlash, kInfo, kImageInfo, kHelp };

struct CFlashOptions {
    EFlashMode mode = EFlashMode::kFlash;
    uint8_t address[4] = {};  // first octet first
    std::string addressText;
    uint16_t port = 69;
    bool resetDefaults = false;
    bool extendedTimeout = false;
    bool quiet = false;
    std::string firmware;
};

// Parses argv; on failure error holds a one-line reason and false is returned.
bool ParseFlashOptions(int argc, const char* const* argv, CFlashOptions& options,
                       std::string& error);

extern const char* const kFlashUsage;
extern const char* const kFlashHelp;
