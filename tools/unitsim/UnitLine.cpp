#include "UnitLine.h"

#include <cctype>
#include <cstdio>

namespace {
constexpr int kFreeRunTries = 64;
constexpr size_t kMacText = 17;  // "00-04-A3-12-34-56"
constexpr uint64_t kMacMax = 0xFFFFFFFFFFFFull;

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
}  // namespace

std::string LineUnitName(const std::string& base, size_t index, size_t count) {
    if (base.empty() || count <= 1) return base;
    return base + "-" + std::to_string(index + 1);
}

bool OffsetMac(const std::string& base, size_t offset, std::string& mac) {
    if (base.size() != kMacText) return false;
    const char separator = base[2];
    if (separator != '-' && separator != ':') return false;
    uint64_t value = 0;
    bool lower = false;
    for (size_t i = 0; i < kMacText; ++i) {
        if (i % 3 == 2) {
            if (base[i] != separator) return false;
            continue;
        }
        const int digit = HexDigit(base[i]);
        if (digit < 0) return false;
        lower = lower || std::islower(static_cast<unsigned char>(base[i]));
        value = value << 4 | static_cast<uint64_t>(digit);
    }
    if (offset > kMacMax - value) return false;
    value += offset;
    const char* digits = lower ? "0123456789abcdef" : "0123456789ABCDEF";
    mac.assign(kMacText, separator);
    for (size_t octet = 0; octet < 6; ++octet) {
        const unsigned byte = static_cast<unsigned>(value >> (8 * (5 - octet))) & 0xFF;
        mac[octet * 3] = digits[byte >> 4];
        mac[octet * 3 + 1] = digits[byte & 0xF];
    }
    return true;
}

CUnitLine::CUnitLine(CUnitLineConfig config) : m_config(std::move(config)) {}

CUnitLine::~CUnitLine() {
    Stop();
}

bool CUnitLine::BindRun(uint16_t firstPort, std::string& error) {
    m_units.clear();
    const size_t count = m_config.units;
    for (size_t i = 0; i < count; ++i) {
        CUnitSimConfig config = m_config.unit;
        const uint32_t port = i == 0 ? firstPort : static_cast<uint32_t>(m_units[0]->Port() + i);
        if (port > 65535) {
            error = "ports " + std::to_string(m_units[0]->Port()) + " to " +
                    std::to_string(m_units[0]->Port() + count - 1) + " pass 65535";
            m_units.clear();
            return false;
        }
        config.port = static_cast<uint16_t>(port);
        config.name = LineUnitName(m_config.unit.name, i, count);
        config.printBound = false;  // printed here, once all are bound
        config.logPort = count > 1;
        m_units.push_back(std::make_unique<CUnitSim>(config));
        if (!m_units.back()->Bind(error)) {
            m_units.clear();
            return false;
        }
    }
    return true;
}

bool CUnitLine::FillAnnounces(std::string& error) {
    m_announces.clear();
    const size_t count = m_units.size();
    for (size_t i = 0; i < count; ++i) {
        CAnnounceConfig announce = m_config.announce;
        // The same name in the loader's window as in the discovery list.
        const std::string& name =
            m_config.unit.name.empty() ? m_config.announce.name : m_config.unit.name;
        announce.name = LineUnitName(name, i, count);
        if (count > 1 && !OffsetMac(m_config.announce.mac, i, announce.mac)) {
            error = "MAC \"" + m_config.announce.mac + "\" is not six hex octets with room for " +
                    std::to_string(count) + " units";
            return false;
        }
        if (!m_config.messageGiven)
            announce.message = "Bootloader on UDP port " + std::to_string(m_units[i]->Port());
        announce.sourceAddress = m_config.unit.bindAddress;
        m_announces.push_back(announce);
    }
    return true;
}

bool CUnitLine::Start(std::string& error) {
    if (!m_units.empty()) return true;
    const size_t count = m_config.units;
    if (count < 1 || count > kMaxLineUnits) {
        error = "a line holds 1 to " + std::to_string(kMaxLineUnits) + " units";
        return false;
    }
    const uint16_t first = m_config.unit.port;
    if (first != 0 && first + count - 1 > 65535) {
        error = "ports " + std::to_string(first) + " to " + std::to_string(first + count - 1) +
                " pass 65535";
        return false;
    }
    // A free first port says nothing about its neighbours: try other runs until one is free.
    const int tries = first == 0 && count > 1 ? kFreeRunTries : 1;
    bool bound = false;
    for (int t = 0; t < tries && !bound; ++t) bound = BindRun(first, error);
    if (!bound) {
        if (tries > 1) {
            error = "no run of " + std::to_string(count) + " consecutive free ports in " +
                    std::to_string(tries) + " tries (last: " + error + ")";
        }
        return false;
    }
    if (!FillAnnounces(error)) {
        m_units.clear();
        return false;
    }
    if (m_config.unit.printBound) {
        for (const auto& unit : m_units) {
            std::printf("unitsim: bootloader on %s:%u\n", m_config.unit.bindAddress.c_str(),
                        static_cast<unsigned>(unit->Port()));
        }
        std::fflush(stdout);
    }
    for (auto& unit : m_units) {
        if (!unit->Start()) {
            error = "a unit did not start";
            Stop();
            return false;
        }
    }
    if (m_config.announce.intervalMs > 0) {
        for (const CAnnounceConfig& announce : m_announces) {
            m_announcers.push_back(std::make_unique<CAnnouncer>(announce));
            if (!m_announcers.back()->Start()) {
                error = "announces from " + announce.sourceAddress + " could not start";
                Stop();
                return false;
            }
        }
    }
    return true;
}

void CUnitLine::Stop() {
    for (auto& announcer : m_announcers) announcer->Stop();
    m_announcers.clear();
    for (auto& unit : m_units) unit->Stop();
    m_units.clear();
    m_announces.clear();
}

int CUnitLine::AnnouncesSent(size_t index) const {
    return index < m_announcers.size() ? m_announcers[index]->Sent() : 0;
}
