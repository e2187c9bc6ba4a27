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
};

// The name of unit index (from 0) of a line of count units: base itself for one unit,
// "base-1" to "base-N" for several, empty when base is.
std::string LineUnitName(const std::string& base, size_t index, size_t count);
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
    // What unit index announces: its name, MAC and message.
    const CAnnounceConfig& Announce(size_t index) const { return m_announces.at(index); }
    int AnnouncesSent(size_t index) const;

  private:
    bool BindRun(uint16_t firstPort, std::string& error);
    bool FillAnnounces(std::string& error);

    CUnitLineConfig m_config;
    std::vector<std::unique_ptr<CUnitSim>> m_units;
    std::vector<CAnnounceConfig> m_announces;
    std::vector<std::unique_ptr<CAnnouncer>> m_announcers;
};
