// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Announcer.h"
#include "UnitSim.h"

constexpr size_t kMaxLineUnits = 128;

struct CUnitLineConfig {
    size_t units = 1;
    // Every unit's settings. port is the first unit's and the others follow it; 0 picks a run of
    // free consecutive ports. With several units, the name is numbered per unit.
    CUnitSimConfig unit;
    // The first unit's announces. A unit with a name announces that name; with several units the
    // MAC must be six hex octets, and unit i announces it plus i. intervalMs 0 sends none.
    CAnnounceConfig announce;
    bool messageGiven = false;  // otherwise each unit's message names its own port
    // Non-empty: unit i answers at this IPv4 address plus i, all on the one port, and announces
    // from there (a line of units on one network); empty: consecutive ports on unit.bindAddress.
    std::string firstAddress;
    int joinEveryMs = 0;  // unit i starts announcing i x joinEveryMs after the start
    // After CMD_EXIT a unit restarts: no announce for restartMs, then "Running firmware CRC
    // XXXX" (its flash's CRC over the last verified range) instead of its bootloader message.
    int restartMs = 500;
};

// The name of unit index (from 0) of a line of count units: base itself for one unit,
// "base-1" to "base-N" for several, empty when base is.
std::string LineUnitName(const std::string& base, size_t index, size_t count);
// The dotted quad of first plus offset; false when first is not an IPv4 address or the sum
// passes 255.255.255.255.
bool OffsetAddress(const std::string& first, size_t offset, std::string& address);
// The message a restarted unit announces: "Running firmware CRC 1A2B".
std::string RunningFirmwareMessage(uint16_t crc);
// base plus offset as a 48-bit number, in base's own separators ('-' or ':') and letter case;
// false when base is not six hex octets or the sum passes FF-FF-FF-FF-FF-FF.
bool OffsetMac(const std::string& base, size_t offset, std::string& mac);

// A line of simulated units in one process, on consecutive ports, each with its own flash, name,
// MAC and announcer.
class CUnitLine {
  public:
    explicit CUnitLine(CUnitLineConfig config);
    ~CUnitLine();  // stops
    CUnitLine(const CUnitLine&) = delete;
    CUnitLine& operator=(const CUnitLine&) = delete;

    // Binds every unit before any starts, prints their "bootloader on" lines when the unit
    // config asks for it, then starts them and their announcers. All or none; false with the
    // reason in error.
    bool Start(std::string& error);
    void Stop();
    size_t Size() const { return m_units.size(); }  // 0 until started
    CUnitSim& Unit(size_t index) { return *m_units.at(index); }
    const CUnitSim& Unit(size_t index) const { return *m_units.at(index); }
    uint16_t Port(size_t index) const { return m_units.at(index)->Port(); }
    const std::string& Address(size_t index) const { return m_addresses.at(index); }
    // What unit index announces: its name, MAC and message.
    const CAnnounceConfig& Announce(size_t index) const { return m_announces.at(index); }
    int AnnouncesSent(size_t index) const;

  private:
    bool BindRun(uint16_t firstPort, std::string& error);
    bool FillAnnounces(std::string& error);
    bool FillAddresses(std::string& error);
    void Restarted(size_t index, bool verified, uint16_t crc);

    CUnitLineConfig m_config;
    std::vector<std::unique_ptr<CUnitSim>> m_units;
    std::vector<std::string> m_addresses;  // each unit's bootloader address
    std::vector<CAnnounceConfig> m_announces;
    std::vector<std::unique_ptr<CAnnouncer>> m_announcers;
};
