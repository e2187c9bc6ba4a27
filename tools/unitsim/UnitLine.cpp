// SPDX-License-Identifier: Apache-2.0
#include "UnitLine.h"

#include <arpa/inet.h>

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

bool OffsetAddress(const std::string& first, size_t offset, std::string& address) {
    in_addr base{};
    if (::inet_pton(AF_INET, first.c_str(), &base) != 1) return false;
    const uint64_t value = static_cast<uint64_t>(ntohl(base.s_addr)) + offset;
    if (value > 0xFFFFFFFFull) return false;
    in_addr sum{};
    sum.s_addr = htonl(static_cast<uint32_t>(value));
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &sum, text, sizeof text);
    address = text;
    return true;
}

std::string RunningFirmwareMessage(uint16_t crc) {
    char text[32];
    std::snprintf(text, sizeof text, "Running firmware CRC %04X", static_cast<unsigned>(crc));
    return text;
}

CUnitLine::CUnitLine(CUnitLineConfig config) : m_config(std::move(config)) {}

CUnitLine::~CUnitLine() {
    Stop();
}

bool CUnitLine::BindRun(uint16_t firstPort, std::string& error) {
    m_units.clear();
    const size_t count = m_config.units;
    const bool oneNetwork = !m_config.firstAddress.empty();
    for (size_t i = 0; i < count; ++i) {
        CUnitSimConfig config = m_config.unit;
        const uint32_t step = oneNetwork ? 0 : static_cast<uint32_t>(i);
        const uint32_t port = i == 0 ? firstPort : m_units[0]->Port() + step;
        if (port > 65535) {
            error = "ports " + std::to_string(m_units[0]->Port()) + " to " +
                    std::to_string(m_units[0]->Port() + count - 1) + " pass 65535";
            m_units.clear();
            return false;
        }
        config.port = static_cast<uint16_t>(port);
        config.name = LineUnitName(m_config.unit.name, i, count);
        config.printBound = false;  // printed here, once all are bound
        config.bindAddress = m_addresses[i];
        config.logPort = count > 1;
        config.logAddress = oneNetwork;
        config.onExit = [this, i](bool verified, uint16_t crc) { Restarted(i, verified, crc); };
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
        announce.sourceAddress = m_addresses[i];
        announce.startDelayMs = static_cast<int>(i) * m_config.joinEveryMs;
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
    if (!FillAddresses(error)) return false;
    const uint16_t first = m_config.unit.port;
    const bool oneNetwork = !m_config.firstAddress.empty();
    if (!oneNetwork && first != 0 && first + count - 1 > 65535) {
        error = "ports " + std::to_string(first) + " to " + std::to_string(first + count - 1) +
                " pass 65535";
        return false;
    }
    // A free first port says nothing about its neighbours (or the same port at the next
    // addresses): try other runs until one is free.
    const int tries = first == 0 && count > 1 ? kFreeRunTries : 1;
    bool bound = false;
    for (int t = 0; t < tries && !bound; ++t) bound = BindRun(first, error);
    if (!bound) {
        if (tries > 1) {
            error = "no run of " + std::to_string(count) +
                    (oneNetwork ? " free ports" : " consecutive free ports") + " in " +
                    std::to_string(tries) + " tries (last: " + error + ")";
        }
        return false;
    }
    if (!FillAnnounces(error)) {
        m_units.clear();
        return false;
    }
    if (m_config.unit.printBound) {
        for (size_t i = 0; i < m_units.size(); ++i) {
            std::printf("unitsim: bootloader on %s:%u\n", m_addresses[i].c_str(),
                        static_cast<unsigned>(m_units[i]->Port()));
        }
        std::fflush(stdout);
    }
    // Every announcer exists before any unit runs: a unit's restart reaches its announcer from
    // the unit's thread, so the list must not change while units run.
    if (m_config.announce.intervalMs > 0) {
        for (const CAnnounceConfig& announce : m_announces)
            m_announcers.push_back(std::make_unique<CAnnouncer>(announce));
    }
    for (auto& unit : m_units) {
        if (!unit->Start()) {
            error = "a unit did not start";
            Stop();
            return false;
        }
    }
    for (size_t i = 0; i < m_announcers.size(); ++i) {
        if (!m_announcers[i]->Start()) {
            error = "announces from " + m_announces[i].sourceAddress + " could not start";
            Stop();
            return false;
        }
    }
    return true;
}

bool CUnitLine::FillAddresses(std::string& error) {
    m_addresses.assign(m_config.units, m_config.unit.bindAddress);
    if (m_config.firstAddress.empty()) return true;
    for (size_t i = 0; i < m_config.units; ++i) {
        if (!OffsetAddress(m_config.firstAddress, i, m_addresses[i])) {
            error = "\"" + m_config.firstAddress + "\" is not an IPv4 address with room for " +
                    std::to_string(m_config.units) + " units";
            return false;
        }
    }
    return true;
}

// On the unit's thread, under its lock; the announcer never calls back into the unit.
void CUnitLine::Restarted(size_t index, bool verified, uint16_t crc) {
    if (index >= m_announcers.size()) return;
    const std::string message =
        verified ? RunningFirmwareMessage(crc) : m_announces[index].message;
    m_announcers[index]->Restart(m_config.restartMs, message);
}

void CUnitLine::Stop() {
    for (auto& unit : m_units) unit->Stop();  // first: no restart reaches an announcer after this
    for (auto& announcer : m_announcers) announcer->Stop();
    m_announcers.clear();
    m_units.clear();
    m_announces.clear();
}

int CUnitLine::AnnouncesSent(size_t index) const {
    return index < m_announcers.size() ? m_announcers[index]->Sent() : 0;
}
