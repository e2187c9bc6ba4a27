// SPDX-License-Identifier: Apache-2.0
#pragma once
// quillon-flash --record: rows for flashes made by hand or by script. The interface is plain C++
// so that quillon-flash's own code stays free of Qt; Qt SQL works behind it.
#include <cstdint>
#include <memory>
#include <string>

// One unit's ended flash as quillon-flash knows it.
struct CHandFlash {
    std::string address;  // dotted quad
    int port = 0;
    bool ok = false;
    int exit = 0;
    std::string message;
    uint64_t bytes = 0;
    int attempts = 0;
    std::string bootloader;  // the version line; empty when the unit never answered
    double seconds = 0;      // from the unit's start to its end
};

// The firmware as flashed: the file as given and the verify's range and CRC-16.
struct CHandFirmware {
    std::string path;
    uint32_t start = 0;
    uint32_t length = 0;
    uint16_t crc = 0;
};

class CHandRecord {
  public:
    CHandRecord();
    ~CHandRecord();
    CHandRecord(const CHandRecord&) = delete;
    CHandRecord& operator=(const CHandRecord&) = delete;

    // Opens the record (a SQLite path or a postgresql:// URL) and reads the firmware's SHA-256,
    // before any unit is woken. mac goes into every row (empty: none known).
    bool Open(const std::string& target, const CHandFirmware& firmware, const std::string& mac,
              std::string& error);
    // One row, ended now; station is the host name.
    bool Write(const CHandFlash& flash, std::string& error);

  private:
    struct CImpl;
    std::unique_ptr<CImpl> m_impl;
};
