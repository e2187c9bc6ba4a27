// SPDX-License-Identifier: Apache-2.0
#include "UnitSim.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {
constexpr uint8_t kReadVersion = 1;
constexpr uint8_t kErase = 2;
constexpr uint8_t kProgram = 3;
constexpr uint8_t kVerify = 4;
constexpr uint8_t kExit = 5;
constexpr uint8_t kResetDefaults = 6;
constexpr size_t kWakeupLength = 15;
constexpr size_t kNameField = 16;
constexpr uint64_t kIdlePollUs = 10000;  // bounds how long Stop waits for the thread

// Microseconds, so that a short programming delay is not rounded to whole milliseconds.
uint64_t NowUs() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

uint32_t ReadLe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

bool IsLetter(uint8_t c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsWakeup(const uint8_t* data, size_t length) {
    if (length != kWakeupLength || data[kWakeupLength - 1] != 0) return false;
    for (size_t i = 0; i + 1 < kWakeupLength; ++i) {
        if (!IsLetter(data[i])) return false;
    }
    return true;
}

const char* CommandName(uint8_t command) {
    switch (command) {
        case kReadVersion:
            return "read-version";
        case kErase:
            return "erase";
        case kProgram:
            return "program";
        case kVerify:
            return "verify";
        case kExit:
            return "exit";
        case kResetDefaults:
            return "reset-defaults";
        default:
            return nullptr;
    }
}

// Flips one byte, inside the Frame markers when there is room, so that the damage reaches
// the CRC check rather than only the framing.
void FlipByte(uint8_t* data, size_t length, uint32_t draw) {
    if (length == 0) return;
    const size_t pos = length >= 3 ? 1 + draw % (length - 2) : draw % length;
    data[pos] ^= 0xFF;
}
}  // namespace

CUnitSim::CUnitSim(CUnitSimConfig config)
    : m_config(std::move(config)),
      m_dice(m_config.faults.seed),
      m_inSession(!m_config.wakeupNeeded),
      m_receive(kReceiveCapacity) {}

CUnitSim::~CUnitSim() {
    Stop();
}

bool CUnitSim::Bind(std::string& error) {
    if (m_socket >= 0) return true;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(m_config.port);
    if (::inet_pton(AF_INET, m_config.bindAddress.c_str(), &local.sin_addr) != 1) {
        error = "\"" + m_config.bindAddress + "\" is not an IPv4 address";
        return false;
    }
    const int s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s < 0) {
        error = std::string("cannot create a UDP socket: ") + std::strerror(errno);
        return false;
    }
    if (::bind(s, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        error = "cannot bind " + m_config.bindAddress + ":" + std::to_string(m_config.port) + ": " +
                std::strerror(errno);
        ::close(s);
        return false;
    }
    socklen_t len = sizeof local;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&local), &len);
    m_socket = s;
    m_port = ntohs(local.sin_port);
    return true;
}

bool CUnitSim::Start() {
    if (m_thread.joinable()) return true;
    std::string error;
    if (!Bind(error)) {
        std::fprintf(stderr, "unitsim: %s\n", error.c_str());
        return false;
    }
    if (m_config.logAddress) {
        std::snprintf(m_logPrefix, sizeof m_logPrefix, "unitsim %s:%u",
                      m_config.bindAddress.c_str(), static_cast<unsigned>(m_port.load()));
    } else if (m_config.logPort) {
        std::snprintf(m_logPrefix, sizeof m_logPrefix, "unitsim %u",
                      static_cast<unsigned>(m_port.load()));
    }
    if (m_config.printBound) {
        std::printf("unitsim: bootloader on %s:%u\n", m_config.bindAddress.c_str(),
                    static_cast<unsigned>(m_port.load()));
        std::fflush(stdout);
    }
    m_stop = false;
    m_thread = std::thread(&CUnitSim::Run, this);
    return true;
}

void CUnitSim::Stop() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
    if (m_socket >= 0) ::close(m_socket);
    m_socket = -1;
    std::lock_guard<std::mutex> lock(m_mutex);
    for (CPendingReply& p : m_pending) p.used = false;  // the unit is gone; late replies too
    m_busyUntilUs = 0;
}

uint16_t CUnitSim::Port() const {
    return m_port;
}

std::vector<CSeenRequest> CUnitSim::Requests() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return {m_requests.begin(), m_requests.end()};
}

size_t CUnitSim::RequestCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requestCount;
}

void CUnitSim::ClearRequests() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_requests.clear();
    m_requestCount = 0;
}

uint16_t CUnitSim::FlashCrc(uint32_t start, uint32_t length) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_flash.Crc(start, length);
}

std::vector<uint8_t> CUnitSim::ReadFlash(uint32_t address, uint32_t length) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_flash.Read(address, length);
}

bool CUnitSim::Exited() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_exited;
}

bool CUnitSim::InSession() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_inSession;
}

int CUnitSim::EraseCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_eraseCount;
}

int CUnitSim::ResetCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_resetCount;
}

void CUnitSim::SetFaults(const CFaultConfig& faults) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_config.faults = faults;
    m_dice.Seed(faults.seed);  // a new fault set replays the same way from here on
}

void CUnitSim::SetSilent(bool silent) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_config.faults.silent = silent;
}

void CUnitSim::SetCustomReply(uint8_t command, std::vector<uint8_t> body) {
    if (body.size() > kMaxReplyBody) {
        std::fprintf(stderr, "unitsim: custom reply of %zu bytes refused (at most %zu)\n",
                     body.size(), kMaxReplyBody);
        return;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_customReplies[command] = std::move(body);
}

void CUnitSim::Run() {
    while (!m_stop.load()) {
        uint64_t timeoutUs;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            timeoutUs = PollTimeoutUs(NowUs());
        }
        const timespec timeout{static_cast<time_t>(timeoutUs / 1000000),
                               static_cast<long>(timeoutUs % 1000000 * 1000)};
        pollfd pfd{m_socket, POLLIN, 0};
        const int ready = ::ppoll(&pfd, 1, &timeout, nullptr);
        if (ready > 0 && (pfd.revents & POLLIN)) {
            sockaddr_in from{};
            socklen_t len = sizeof from;
            const ssize_t n = ::recvfrom(m_socket, m_receive.data(), m_receive.size(), MSG_DONTWAIT,
                                         reinterpret_cast<sockaddr*>(&from), &len);
            if (n >= 0) {
                std::lock_guard<std::mutex> lock(m_mutex);
                HandleDatagram(m_receive.data(), static_cast<size_t>(n), from, NowUs());
            }
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        SendDue(NowUs());
    }
}

uint64_t CUnitSim::PollTimeoutUs(uint64_t now) {
    uint64_t timeout = kIdlePollUs;
    for (const CPendingReply& p : m_pending) {
        if (!p.used) continue;
        const uint64_t left = p.dueUs <= now ? 0 : p.dueUs - now;
        if (left < timeout) timeout = left;
    }
    return timeout;
}

void CUnitSim::HandleDatagram(const uint8_t* received, size_t length, const sockaddr_in& from,
                              uint64_t now) {
    m_noteLength = 0;
    m_note[0] = '\0';
    CSeenRequest seen;
    seen.atMs = now / 1000;
    m_arrivalUs = now;
    seen.raw.assign(received, received + length);
    seen.fromPort = ntohs(from.sin_port);
    const CFaultConfig& faults = m_config.faults;

    if (m_dice.Chance(faults.dropRequest)) {
        seen.dropped = true;
        Record(std::move(seen));
        return;
    }
    // The damage is done to the unit's own copy; raw keeps what the sender sent.
    uint8_t* data = m_receive.data();
    if (data != received) std::memcpy(data, received, length);
    const bool corrupt = m_dice.Chance(faults.corruptRequest);
    const uint32_t where = m_dice.Below(0xFFFFFFFFu);
    if (corrupt && length > 0) {
        FlipByte(data, length, where);
        seen.corrupted = true;
    }

    if (IsWakeup(data, length)) {
        seen.wakeup = true;
        seen.wakeText.assign(reinterpret_cast<const char*>(data), kWakeupLength - 1);
        m_inSession = true;
        m_decoder.Reset();
        m_flash.ResetPlacement();
        Record(std::move(seen));
        return;
    }

    // Fed byte by byte so that every Frame in the datagram is taken, not just the first.
    size_t frames = 0;
    for (size_t i = 0; i < length; ++i) {
        if (!m_decoder.Take(data[i])) continue;
        CSeenRequest one = seen;
        HandleFrame(m_decoder.Body(), m_decoder.BodySize(), from, one);
        Record(std::move(one));
        ++frames;
        m_noteLength = 0;
        m_note[0] = '\0';
    }
    if (frames == 0) Record(std::move(seen));
}

void CUnitSim::HandleFrame(const uint8_t* body, uint16_t size, const sockaddr_in& from,
                           CSeenRequest& seen) {
    seen.frame = true;
    seen.command = body[0];
    seen.bodySize = size;
    if (m_config.faults.silent) {
        Note(", silent");
        return;
    }
    if (!m_inSession) {
        seen.outOfSession = true;
        Note(m_exited ? ", ignored: bootloader ended, waiting for a wake-up"
                      : ", ignored: not woken yet");
        return;
    }
    size_t replyLength = 0;
    uint64_t workUs = 0;
    bool reply = Act(body, size, seen, replyLength, workUs);
    // One request at a time: work queues behind the work still under way.
    const uint64_t readyUs = std::max(m_arrivalUs, m_busyUntilUs) + workUs;
    m_busyUntilUs = readyUs;
    const std::vector<uint8_t>& custom = m_customReplies[body[0]];
    if (!custom.empty()) {
        std::memcpy(m_replyBody, custom.data(), custom.size());
        replyLength = custom.size();
        reply = true;
        Note(", custom reply");
    }
    if (reply) Reply(replyLength, from, seen, readyUs);
}

bool CUnitSim::AcceptsResetDefaults() const {
    return m_config.major > 1 || (m_config.major == 1 && m_config.minor >= 4);
}

bool CUnitSim::Act(const uint8_t* body, uint16_t size, CSeenRequest& seen, size_t& replyLength,
                   uint64_t& workUs) {
    m_replyBody[0] = body[0];
    replyLength = 1;
    switch (body[0]) {
        case kReadVersion:
            m_replyBody[1] = m_config.major;
            m_replyBody[2] = m_config.minor;
            replyLength = 3;
            if (!m_config.name.empty()) {
                // Zero padded; a name of 16 bytes or more fills the field without a terminator.
                std::memset(m_replyBody + 3, 0, kNameField);
                std::memcpy(m_replyBody + 3, m_config.name.data(),
                            std::min(m_config.name.size(), kNameField));
                replyLength += kNameField;
            }
            return true;
        case kErase:
            m_flash.Erase();
            ++m_eraseCount;
            m_verifyAsked = false;
            workUs = static_cast<uint64_t>(m_config.eraseMs) * 1000;
            return true;
        case kProgram: {
            const CBatchResult result = m_flash.PlaceBatch(body + 1, size - 1u);
            seen.records = result.records;
            seen.badChecksums = result.badChecksums;
            seen.truncated = result.truncated;
            workUs = static_cast<uint64_t>(result.dataBytes) * m_config.programUsPerByte;
            if (result.badChecksums) Note(", %u bad checksums", result.badChecksums);
            if (result.truncated) Note(", last record cut short and dropped");
            return true;
        }
        case kVerify: {
            if (size < 9) {
                Note(", too short for start and length: not answered");
                return false;
            }
            const uint32_t start = ReadLe32(body + 1);
            const uint32_t length = ReadLe32(body + 5);
            const uint16_t crc = m_flash.Crc(start, length);
            m_verifyAsked = true;
            m_verifyStart = start;
            m_verifyLength = length;
            m_replyBody[1] = static_cast<uint8_t>(crc & 0xFF);
            m_replyBody[2] = static_cast<uint8_t>(crc >> 8);
            replyLength = 3;
            Note(", start 0x%08X length 0x%X crc 0x%04X", start, length, crc);
            if (size >= 11) Note(" (loader's 0x%04X)", body[9] | body[10] << 8);
            return true;
        }
        case kExit:
            m_exited = true;
            m_inSession = false;
            if (m_config.onExit) {
                m_config.onExit(m_verifyAsked,
                                m_verifyAsked ? m_flash.Crc(m_verifyStart, m_verifyLength) : 0);
            }
            return false;
        case kResetDefaults:
            if (!AcceptsResetDefaults()) {
                Note(", bootloader %u.%02u predates it: not answered",
                     static_cast<unsigned>(m_config.major), static_cast<unsigned>(m_config.minor));
                return false;
            }
            ++m_resetCount;
            return true;
        default:
            Note(", unknown command: not answered");
            return false;
    }
}

void CUnitSim::Reply(size_t bodyLength, const sockaddr_in& to, CSeenRequest& seen,
                     uint64_t readyUs) {
    size_t length = EncodeReply(m_replyBody, bodyLength, m_replyFrame, sizeof m_replyFrame);
    const CFaultConfig& faults = m_config.faults;
    const bool drop = m_dice.Chance(faults.dropReply);
    const bool corrupt = m_dice.Chance(faults.corruptReply);
    const uint32_t where = m_dice.Below(0xFFFFFFFFu);
    const bool duplicate = m_dice.Chance(faults.duplicateReply);
    const bool delay = m_dice.Chance(faults.delayReply) && faults.delayReplyMs > 0;
    if (length == 0) return;
    if (drop) {
        Note(", reply dropped");
        return;
    }
    if (corrupt) {
        FlipByte(m_replyFrame, length, where);
        Note(", reply corrupted");
    }
    const uint8_t copies = duplicate ? 2 : 1;
    if (duplicate) Note(", reply duplicated");
    seen.replies = copies;
    const bool busy = readyUs > m_arrivalUs;
    if (delay || busy) {
        const uint64_t late = delay ? static_cast<uint64_t>(faults.delayReplyMs) * 1000 : 0;
        for (CPendingReply& p : m_pending) {
            if (p.used) continue;
            p.used = true;
            p.dueUs = readyUs + late;
            p.to = to;
            p.copies = copies;
            p.length = length;
            std::memcpy(p.frame, m_replyFrame, length);
            if (busy)
                Note(", reply after %.1f ms of flash work",
                     static_cast<double>(readyUs - m_arrivalUs) / 1000.0);
            if (delay) Note(", reply delayed %d ms", faults.delayReplyMs);
            return;
        }
        if (busy) {
            // Sent now it would overtake the work; a real unit would have lost the request.
            Note(", too many replies waiting: dropped");
            seen.replies = 0;
            return;
        }
        Note(", too many late replies: sent at once");
    }
    for (uint8_t i = 0; i < copies; ++i) SendDatagram(m_replyFrame, length, to);
}

void CUnitSim::SendDue(uint64_t now) {
    for (;;) {
        CPendingReply* next = nullptr;
        for (CPendingReply& p : m_pending) {
            if (p.used && p.dueUs <= now && (!next || p.dueUs < next->dueUs)) next = &p;
        }
        if (!next) return;
        for (uint8_t i = 0; i < next->copies; ++i)
            SendDatagram(next->frame, next->length, next->to);
        next->used = false;
    }
}

void CUnitSim::SendDatagram(const uint8_t* data, size_t length, const sockaddr_in& to) {
    // A failed send looks like a lost reply to the loader, which is what it is.
    (void)::sendto(m_socket, data, length, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

void CUnitSim::Record(CSeenRequest seen) {
    ++m_requestCount;
    if (m_config.log) Log(seen);
    if (m_config.historyLimit == 0) return;
    while (m_requests.size() >= m_config.historyLimit) m_requests.pop_front();
    m_requests.push_back(std::move(seen));
}

void CUnitSim::Note(const char* format, ...) {
    if (m_noteLength >= sizeof m_note - 1) return;
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(m_note + m_noteLength, sizeof m_note - m_noteLength, format, args);
    va_end(args);
    if (n > 0) m_noteLength = std::min(m_noteLength + static_cast<size_t>(n), sizeof m_note - 1);
}

void CUnitSim::Log(const CSeenRequest& seen) const {
    const char* corrupted = seen.corrupted ? " (corrupted on the way in)" : "";
    if (seen.dropped) {
        std::printf("%s: %zu bytes from port %u dropped on the way in\n", m_logPrefix,
                    seen.raw.size(), static_cast<unsigned>(seen.fromPort));
    } else if (seen.wakeup) {
        std::printf("%s: wake-up \"%s\" from port %u%s\n", m_logPrefix, seen.wakeText.c_str(),
                    static_cast<unsigned>(seen.fromPort), corrupted);
    } else if (!seen.frame) {
        std::printf("%s: %zu bytes without a complete frame%s\n", m_logPrefix, seen.raw.size(),
                    corrupted);
    } else {
        const char* name = CommandName(seen.command);
        char unknown[24];
        if (!name) {
            std::snprintf(unknown, sizeof unknown, "command 0x%02X", seen.command);
            name = unknown;
        }
        if (seen.command == kProgram) {
            std::printf("%s: %s, %u bytes, %u records%s%s\n", m_logPrefix, name,
                        static_cast<unsigned>(seen.bodySize), static_cast<unsigned>(seen.records),
                        m_note, corrupted);
        } else {
            std::printf("%s: %s, %u byte%s%s%s\n", m_logPrefix, name,
                        static_cast<unsigned>(seen.bodySize), seen.bodySize == 1 ? "" : "s", m_note,
                        corrupted);
        }
    }
    std::fflush(stdout);
}
