// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <netinet/in.h>

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "DeviceFrames.h"
#include "FaultDice.h"
#include "FlashModel.h"

struct CFaultConfig {
    double dropRequest = 0, dropReply = 0;        // probability 0..1
    double duplicateReply = 0;                    // send the reply twice
    double corruptRequest = 0, corruptReply = 0;  // flip a byte
    double delayReply = 0;
    int delayReplyMs = 0;  // probability and delay of a late reply
    bool silent = false;   // receive and log, never answer
    uint32_t seed = 1;     // all faults are reproducible
};

struct CUnitSimConfig {
    std::string bindAddress = "127.0.0.1";
    uint16_t port = 6969;  // 0 picks a free port
    std::string name;      // empty: read-version reply has no name field
    uint8_t major = 1, minor = 4;
    CFaultConfig faults;
    bool log = false;  // one line per request on stdout
    // Start prints "unitsim: bootloader on ADDR:PORT" itself, before any request can be logged.
    bool printBound = false;
    // Requests() keeps the latest this many; RequestCount() counts them all.
    size_t historyLimit = 100000;
    // A fresh unit answers Frames only once a wake-up datagram came; false starts it awake, for
    // rigs that talk to it without waking it. After CMD_EXIT it waits for a wake-up either way.
    bool wakeupNeeded = true;
    // Flash timing of a real unit: the erase reply comes eraseMs later, a programming reply
    // (data bytes written) x programUsPerByte microseconds later. The unit works one request at a
    // time, so a request that comes while it is busy is answered after the work before it.
    uint32_t eraseMs = 0;
    uint32_t programUsPerByte = 0;
    // Log lines start "unitsim PORT:" rather than "unitsim:", to tell the units of a line apart.
    bool logPort = false;
    // ... and "unitsim ADDR:PORT:", for a line whose units share a port.
    bool logAddress = false;
    // Called on the unit's thread, under its lock, when CMD_EXIT ends a session: the unit
    // restarts into its firmware. verified tells whether a verify was asked since the last
    // erase, and crc is the flash's CRC-16 over that verify's range.
    std::function<void(bool verified, uint16_t crc)> onExit;
};

struct CSeenRequest {
    bool wakeup = false;        // a 15-byte wake-up datagram, not a Frame
    std::string wakeText;       // its 14 letters
    uint8_t command = 0;        // body[0] of a decoded Frame
    uint16_t bodySize = 0;      // decoded body bytes (without CRC)
    uint16_t records = 0;       // CMD_PROGRAM: records in the batch
    uint64_t atMs = 0;          // steady-clock ms when it arrived
    std::vector<uint8_t> raw;   // the datagram as received
    bool frame = false;         // a Frame with a matching CRC was decoded
    bool dropped = false;       // lost on the way in (drop-request fault)
    bool corrupted = false;     // a byte flipped on the way in; raw is the original
    bool outOfSession = false;  // arrived before the first wake-up or after CMD_EXIT
    uint8_t replies = 0;        // reply datagrams sent or scheduled for it
    uint16_t badChecksums = 0;  // CMD_PROGRAM: records whose checksum did not add up
    bool truncated = false;     // CMD_PROGRAM: last record cut short, not placed
    uint16_t fromPort = 0;      // sender's port
};

// The unit's bootloader on a UDP socket, with its flash model and seeded fault injection.
// A wake-up datagram starts a bootloader session and CMD_EXIT ends it; Frames outside a session
// are recorded but neither acted on nor answered. A fresh unit waits for its first wake-up
// unless wakeupNeeded is off.
class CUnitSim {
  public:
    explicit CUnitSim(CUnitSimConfig config);
    ~CUnitSim();  // stops
    CUnitSim(const CUnitSim&) = delete;
    CUnitSim& operator=(const CUnitSim&) = delete;

    bool Start();  // binds, starts its thread; false on failure, with a message on stderr
    // Binds without starting, so that a caller can try ports quietly; false with the reason.
    bool Bind(std::string& error);
    void Stop();
    uint16_t Port() const;                       // actual bound port
    std::vector<CSeenRequest> Requests() const;  // copy, thread-safe
    size_t RequestCount() const;
    void ClearRequests();
    uint16_t FlashCrc(uint32_t start, uint32_t length) const;  // CRC-16 over its flash model
    std::vector<uint8_t> ReadFlash(uint32_t address, uint32_t length) const;
    bool Exited() const;     // CMD_EXIT received (stays set)
    bool InSession() const;  // answering Frames: woken, and not ended by CMD_EXIT since
    int EraseCount() const;
    int ResetCount() const;
    void SetFaults(const CFaultConfig& faults);  // thread-safe, takes effect at once
    void SetSilent(bool silent);
    // Replace the reply to one command code by this exact body (framed by the sim); empty clears.
    // Bodies longer than kMaxReplyBody are refused with a message. Any code may be given, and
    // CMD_EXIT or unknown codes then get this reply too.
    void SetCustomReply(uint8_t command, std::vector<uint8_t> body);

  private:
    struct CPendingReply {
        bool used = false;
        uint64_t dueUs = 0;
        sockaddr_in to{};
        uint8_t copies = 0;
        size_t length = 0;
        uint8_t frame[kReplyFrameCapacity] = {};
    };
    static constexpr size_t kMaxPending = 16;
    static constexpr size_t kReceiveCapacity = 65536;

    void Run();
    uint64_t PollTimeoutUs(uint64_t now);
    void HandleDatagram(const uint8_t* data, size_t length, const sockaddr_in& from, uint64_t now);
    void HandleFrame(const uint8_t* body, uint16_t size, const sockaddr_in& from,
                     CSeenRequest& seen);
    // Builds the reply body in m_replyBody; false when the command gets no reply. workUs is how
    // long the flash keeps the unit busy with it.
    bool Act(const uint8_t* body, uint16_t size, CSeenRequest& seen, size_t& replyLength,
             uint64_t& workUs);
    bool AcceptsResetDefaults() const;
    // readyUs: when the unit is done with the request and may answer.
    void Reply(size_t bodyLength, const sockaddr_in& to, CSeenRequest& seen, uint64_t readyUs);
    void SendDue(uint64_t now);
    void SendDatagram(const uint8_t* data, size_t length, const sockaddr_in& to);
    void Record(CSeenRequest seen);
    void Log(const CSeenRequest& seen) const;
    void Note(const char* format, ...) __attribute__((format(printf, 2, 3)));

    CUnitSimConfig m_config;
    int m_socket = -1;
    std::atomic<uint16_t> m_port{0};
    std::thread m_thread;
    std::atomic<bool> m_stop{false};

    mutable std::mutex m_mutex;  // everything below
    CFlashModel m_flash;
    CRequestDecoder m_decoder;
    CFaultDice m_dice;
    std::deque<CSeenRequest> m_requests;
    size_t m_requestCount = 0;
    bool m_exited = false;
    bool m_inSession = false;
    uint64_t m_arrivalUs = 0;    // when the datagram being handled came
    uint64_t m_busyUntilUs = 0;  // the flash is busy with earlier requests until then
    int m_eraseCount = 0;
    int m_resetCount = 0;
    std::array<std::vector<uint8_t>, 256> m_customReplies;
    std::array<CPendingReply, kMaxPending> m_pending;
    char m_note[192] = {};  // what happened to the request being logged
    char m_logPrefix[40] = "unitsim";
    bool m_verifyAsked = false;  // since the last erase
    uint32_t m_verifyStart = 0, m_verifyLength = 0;
    size_t m_noteLength = 0;

    // Touched only by the unit's thread.
    std::vector<uint8_t> m_receive;
    uint8_t m_replyBody[kMaxReplyBody] = {};
    uint8_t m_replyFrame[kReplyFrameCapacity] = {};
};
