// SPDX-License-Identifier: Apache-2.0
#include "BootLink.h"

#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {
// Process-wide, as the protocol's one request at a time allows.
uint8_t g_requestScratch[kRequestScratchSize];
bool g_escapePending = false;
uint32_t g_resendDeadline = 0;
std::atomic<uint32_t> g_tickOffset{0};

const char* WakeupText(uint8_t variant) {
    switch (variant) {
        case WAKE_STANDARD:
            return "remotebootlstd";
        case WAKE_EXTENDED:
            return "remotebootlext";
        default:
            return "remotebootlind";
    }
}

// Deadlines are compared by their signed distance, so the 32-bit wrap of the tick count
// neither fires a resend early nor holds it back for 49 days.
bool TickPassed(uint32_t now, uint32_t deadline) {
    return static_cast<int32_t>(now - deadline) > 0;
}

void PutLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

const char* NameOr(uint8_t code, const char* other) {
    const char* name = BootCommandName(code);
    return name != nullptr ? name : other;
}
}  // namespace

uint32_t CBootLink::GetTickCount() {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<uint32_t>(ms.count()) + g_tickOffset.load(std::memory_order_relaxed);
}

void CBootLink::SetTickOffset(uint32_t offset) {
    g_tickOffset.store(offset, std::memory_order_relaxed);
}

CBootLink::CBootLink() = default;

CBootLink::~CBootLink() {
    StopWorker();
    if (m_udpLink.IsOpen()) m_udpLink.Close();
    m_hexFile.CloseFile();
}

bool CBootLink::StartCommand(uint8_t code, uint8_t variant, uint16_t tries, uint16_t timeout) {
    std::lock_guard<std::mutex> guard(m_lock);
    return StartCommandLocked(code, variant, tries, timeout);
}

bool CBootLink::StartCommandLocked(uint8_t code, uint8_t variant, uint16_t tries,
                                   uint16_t timeout) {
    m_triesLeft.store(0, std::memory_order_relaxed);
    m_currentCommand.store(code, std::memory_order_relaxed);
    m_wakeupVariant = variant;
    m_sendState = 0;
    m_encodedLength = 0;
    // A time-out still pending belongs to the command replaced, never to this one.
    m_timedOut = false;
    m_answered = false;
    m_sendFailurePosted = false;
    m_batchRecords = 0;
    m_bodyLength = 0;
    m_batchDataBytes = 0;
    if (code < CMD_READ_VERSION || code > CMD_RESET_DEFAULTS) {
        Note("command %02X refused: unknown code", code);
        return false;
    }

    uint16_t n = 1;
    g_requestScratch[0] = code;
    if (code == CMD_PROGRAM) {
        if (!BuildProgramBody(n)) return false;
    } else if (code == CMD_VERIFY) {
        if (m_hexFile.Changed()) {
            m_fileChanged.store(true, std::memory_order_relaxed);
            Note("CMD_VERIFY refused: file changed");
            return false;
        }
        uint32_t start = 0, length = 0;
        uint16_t crc = 0;
        m_hexFile.ComputeImageCrc(start, length, crc);
        PutLe32(&g_requestScratch[1], start);
        PutLe32(&g_requestScratch[5], length);
        g_requestScratch[9] = static_cast<uint8_t>(crc & 0xFF);
        g_requestScratch[10] = static_cast<uint8_t>(crc >> 8);
        n = 11;
    }
    if (!EncodeFrame(g_requestScratch, sizeof g_requestScratch, n, m_requestFrame,
                     sizeof m_requestFrame, m_encodedLength)) {
        Note("%s refused: body of %u bytes does not fit a Frame", NameOr(code, "?"), n);
        return false;
    }
    m_bodyLength = n;

    // Armed last, so the worker never sends a half-built Frame.
    m_triesTotal.store(tries, std::memory_order_relaxed);
    m_timeout = timeout;
    m_triesLeft.store(tries, std::memory_order_relaxed);
    return true;
}

// Up to kRecordsPerBatch records behind the command byte. A record that would overflow the
// scratch or the escaped Frame ends the batch early and opens the next one, so no record is
// lost, sent twice or written past a buffer; a single record (at most 496 bytes) always fits.
bool CBootLink::BuildProgramBody(uint16_t& n) {
    constexpr size_t kWorstCrcAndControls = 4 + 2;  // both CRC bytes escaped, SOH, EOT
    uint8_t record[kLineBufferSize / 2];

    if (m_rewindBeforeProgramming) {
        m_carryLength = 0;
        m_fileChanged.store(false, std::memory_order_relaxed);
        m_bytesDone.store(0, std::memory_order_relaxed);
        if (!m_hexFile.Rewind()) {
            Note("CMD_PROGRAM refused: no file open");
            return false;
        }
    }
    // Every batch comes from the file that was loaded, or none does: a file cut short or
    // rewritten meanwhile would be programmed in part and then verified against itself.
    if (m_hexFile.Changed()) {
        m_fileChanged.store(true, std::memory_order_relaxed);
        Note("CMD_PROGRAM refused: file changed");
        return false;
    }
    size_t escaped = 1;  // the command byte 03 needs no escape
    n = 1;
    for (int i = 0; i < kRecordsPerBatch; ++i) {
        uint16_t length = 0;
        if (i == 0 && m_carryLength > 0) {
            length = m_carryLength;
            std::memcpy(record, m_carry, length);
            m_carryLength = 0;
        } else {
            length = m_hexFile.ReadRecord(record, kReadRecordLimit);
        }
        if (i == 0 && length == 0) {
            if (m_hexFile.AtEnd())
                Note("CMD_PROGRAM: end of file after %d record lines", m_hexFile.LinesRead());
            else
                Note("CMD_PROGRAM: a line that is not a record ends the programming");
            return false;
        }
        size_t recordEscaped = 0;
        for (uint16_t k = 0; k < length; ++k)
            recordEscaped += (record[k] == SOH || record[k] == EOT || record[k] == DLE) ? 2 : 1;
        const bool fitsScratch = static_cast<size_t>(n) + length + 2 <= kRequestScratchSize;
        const bool fitsFrame = escaped + recordEscaped + kWorstCrcAndControls <= kFrameBufferSize;
        if (!fitsScratch || !fitsFrame) {
            std::memcpy(m_carry, record, length);
            m_carryLength = length;
            break;
        }
        std::memcpy(&g_requestScratch[n], record, length);
        n = static_cast<uint16_t>(n + length);
        escaped += recordEscaped;
        if (length > 0) {
            ++m_batchRecords;
            m_batchDataBytes += CHexFile::DataBytesOf(record, length);
        }
    }
    return true;
}

bool CBootLink::Load() {
    {
        // A programming run still alive (a late reply revives one that timed out) would have
        // the worker read on from the file that is about to be closed: it is retired first.
        // The chooser must not hold the lock.
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_currentCommand.load(std::memory_order_relaxed) == CMD_PROGRAM) {
            m_triesLeft.store(0, std::memory_order_relaxed);
            m_sendState = 0;
            m_timedOut = false;
            m_currentCommand.store(0, std::memory_order_relaxed);
        }
        m_fileChanged.store(false, std::memory_order_relaxed);
        m_bytesDone.store(0, std::memory_order_relaxed);
    }
    return m_hexFile.Load();
}

void CBootLink::StartWorker(INotifyTarget* window) {
    m_notifyWindow.store(window, std::memory_order_release);
    if (m_worker.joinable()) return;
    m_stopRequested.store(false, std::memory_order_relaxed);
    m_worker = std::thread(&CBootLink::WorkerMain, this);
}

void CBootLink::StopWorker() {
    if (!m_worker.joinable()) return;
    m_stopRequested.store(true, std::memory_order_relaxed);
    // The full second, so that an exit command armed just before gets out.
    std::this_thread::sleep_for(std::chrono::milliseconds(kStopWaitMs));
    // The worker's receive is bounded, so it sees the stop within a pass; a thread can't be
    // ended by force safely, so it is joined instead.
    m_worker.join();
}

void CBootLink::StopWorkerNow() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_triesLeft.store(0, std::memory_order_relaxed);
        m_sendState = 0;
        m_timedOut = false;
        m_currentCommand.store(0, std::memory_order_relaxed);  // no follow-up batch either
    }
    if (!m_worker.joinable()) return;
    m_stopRequested.store(true, std::memory_order_relaxed);
    m_worker.join();
}

void CBootLink::GetProgress(uint32_t& done, uint32_t& total) const {
    const uint8_t code = m_currentCommand.load(std::memory_order_relaxed);
    if (code == CMD_PROGRAM) {
        done = static_cast<uint32_t>(m_hexFile.LinesRead());
        total = static_cast<uint32_t>(m_hexFile.TotalLines());
    } else if (code >= CMD_READ_VERSION && code <= CMD_RESET_DEFAULTS) {
        const uint16_t triesTotal = m_triesTotal.load(std::memory_order_relaxed);
        const uint16_t triesLeft = m_triesLeft.load(std::memory_order_relaxed);
        done = triesTotal >= triesLeft ? triesTotal - triesLeft : 0u;
        total = triesTotal;
    }
}

void CBootLink::GetByteProgress(uint32_t& done, uint32_t& total) const {
    done = m_bytesDone.load(std::memory_order_relaxed);
    total = m_hexFile.TotalDataBytes();
}

void CBootLink::SetObserver(ILinkObserver* observer) {
    m_observer.store(observer, std::memory_order_release);
    m_udpLink.SetObserver(observer);
}

void CBootLink::Note(const char* format, ...) {
    ILinkObserver* observer = m_observer.load(std::memory_order_acquire);
    if (observer == nullptr) return;
    char text[160];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    observer->OnEngineNote(text);
}

uint16_t CBootLink::GetImageCrc() {
    std::lock_guard<std::mutex> guard(m_lock);
    uint32_t start = 0, length = 0;
    uint16_t crc = 0;
    return m_hexFile.ComputeImageCrc(start, length, crc);
}

void CBootLink::WorkerMain() {
    while (!m_stopRequested.load(std::memory_order_relaxed)) {
        ReceiveStep();
        SendStep();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    // The stop may be seen right after a command was armed and before this pass sent it: the
    // exit of a Disconnect would then never leave. Its first datagram still goes out.
    SendStep(true);
}

void CBootLink::ReceiveStep() {
    uint8_t buffer[kReplyBufferSize];
    const uint16_t count = m_udpLink.Receive(buffer, kReceiveCapacity);
    DecodeBytes(m_decoder, g_escapePending, buffer, count);
    if (m_decoder.frameComplete) {
        EReplyRole role;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_decoder.frameComplete = false;
            role = TakeReplyLocked(m_decoder.reply[0]);
        }
        NoteReply(m_decoder.reply[0], role);
        if (role != EReplyRole::kRepeat) DispatchReply(role == EReplyRole::kAnswer);
        return;
    }
    uint8_t timedOut = 0;
    uint16_t tries = 0;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_timedOut) {
            m_timedOut = false;
            timedOut = m_currentCommand.load(std::memory_order_relaxed);
            tries = m_triesTotal.load(std::memory_order_relaxed);
        }
    }
    if (timedOut == CMD_EXIT) {
        Note("CMD_EXIT sent, no answer awaited");
    } else if (timedOut >= CMD_READ_VERSION && timedOut <= CMD_RESET_DEFAULTS) {
        Note("%s timed out after %u tries", NameOr(timedOut, "?"), tries);
        Post(WM_BOOT_TIMEOUT, timedOut, false, true);
    }
}

// Only the answer to the command in progress ends it, and only once. A reply of another code
// (a late one, or a code nobody acts on) is still dispatched by its own code, but must not
// silently end the command that runs now, or the dialog would wait for ever; so an exit armed
// by a Disconnect always gets out. A second answer to the same command is a duplicate: taken
// as an answer it would end the next command, unsent, in the reply to this one.
CBootLink::EReplyRole CBootLink::TakeReplyLocked(uint8_t code) {
    if (code != m_currentCommand.load(std::memory_order_relaxed) || code == CMD_EXIT)
        return EReplyRole::kStray;
    if (m_answered) return EReplyRole::kRepeat;
    m_answered = true;
    if (code == CMD_PROGRAM) {
        m_bytesDone.fetch_add(m_batchDataBytes, std::memory_order_relaxed);
        m_batchDataBytes = 0;
    }
    m_sendState = 0;
    m_triesLeft.store(0, std::memory_order_relaxed);
    // Answered after the last try was declared lost: the unit did answer.
    m_timedOut = false;
    return EReplyRole::kAnswer;
}

void CBootLink::NoteReply(uint8_t code, EReplyRole role) {
    if (m_observer.load(std::memory_order_relaxed) == nullptr) return;
    const uint8_t current = m_currentCommand.load(std::memory_order_relaxed);
    switch (role) {
        case EReplyRole::kAnswer:
            Note("reply %02X answers %s", code, NameOr(current, "?"));
            break;
        case EReplyRole::kRepeat:
            Note("reply %02X dropped: second answer", code);
            break;
        case EReplyRole::kStray: {
            const bool posted = code == CMD_READ_VERSION || code == CMD_ERASE ||
                                code == CMD_VERIFY || code == CMD_RESET_DEFAULTS;
            Note("reply %02X is not the answer to %s; %s", code, NameOr(current, "no command"),
                 posted ? "posted by its own code" : "ignored");
            break;
        }
    }
}

void CBootLink::DispatchReply(bool answer) {
    switch (m_decoder.reply[0]) {
        case CMD_READ_VERSION:
        case CMD_ERASE:
        case CMD_VERIFY:
        case CMD_RESET_DEFAULTS:
            Post(WM_BOOT_REPLY, m_decoder.replyLength, true, answer);
            break;
        case CMD_PROGRAM: {
            bool followUp = false;
            {
                std::lock_guard<std::mutex> guard(m_lock);
                // Only a programming run continues itself: a command the dialog started since
                // (a verify, or the exit of a Disconnect) is never replaced by a batch, and a
                // stale "programmed" is not reported over it.
                if (m_currentCommand.load(std::memory_order_relaxed) != CMD_PROGRAM) break;
                m_rewindBeforeProgramming = false;
                followUp = StartCommandLocked(
                    CMD_PROGRAM, 0, m_triesTotal.load(std::memory_order_relaxed), m_timeout);
                m_rewindBeforeProgramming = true;
            }
            if (!followUp) Post(WM_BOOT_REPLY, m_decoder.replyLength, true, true);
            break;
        }
        default:
            break;  // exit, 0 and 7 to 255 are not answers the dialog acts on
    }
}

void CBootLink::Post(uint32_t message, uint32_t wParam, bool withReply, bool mustArrive) {
    INotifyTarget* target = m_notifyWindow.load(std::memory_order_acquire);
    if (target == nullptr) return;
    CBootMessage m;
    m.message = message;
    m.wParam = wParam;
    m.mustArrive = mustArrive;
    if (withReply) std::memcpy(m.reply, m_decoder.reply, sizeof m.reply);
    target->PostBootMessage(m);
}

void CBootLink::SendStep(bool firstSendOnly) {
    int failure = 0;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        failure = SendStepLocked(firstSendOnly);
    }
    if (failure != 0) Post(WM_BOOT_SEND_FAILED, static_cast<uint32_t>(failure), false, true);
}

int CBootLink::SendStepLocked(bool firstSendOnly) {
    const uint16_t triesLeft = m_triesLeft.load(std::memory_order_relaxed);
    if (firstSendOnly && m_sendState != 0) return 0;
    if (m_sendState == 0) {
        if (triesLeft == 0) return 0;
        // What waits now arrived before this command's first datagram, so it can't answer it;
        // a duplicate of the last answer would otherwise be taken for this one's.
        const int discarded = m_udpLink.DiscardPending();
        if (discarded > 0)
            Note("%d queued datagram%s discarded", discarded, discarded == 1 ? "" : "s");
        NoteTryLocked(triesLeft);
        m_decoder.replyLength = 0;
        g_escapePending = false;
        int failure = 0;
        if (m_currentCommand.load(std::memory_order_relaxed) == CMD_READ_VERSION) {
            uint8_t wakeup[kWakeupLength] = {};
            std::memcpy(wakeup, WakeupText(m_wakeupVariant), kWakeupLength - 1);
            failure = SendLocked(wakeup, kWakeupLength);
        } else {
            failure = SendLocked(m_requestFrame, m_encodedLength);
        }
        m_triesLeft.store(triesLeft - 1, std::memory_order_relaxed);
        m_sendState = 1;
        g_resendDeadline = GetTickCount() + m_timeout;
        return failure;
    }
    if (triesLeft == 0) {
        m_timedOut = true;
        m_sendState = 0;
        return 0;
    }
    const uint32_t now = GetTickCount();
    if (!TickPassed(now, g_resendDeadline)) return 0;
    g_resendDeadline = now + m_timeout;
    NoteTryLocked(triesLeft);
    const int failure = SendLocked(m_requestFrame, m_encodedLength);
    m_triesLeft.store(triesLeft - 1, std::memory_order_relaxed);
    return failure;
}

// A send the system refuses (no route, the interface down) is not a silent unit: the first of
// each command is told, so that the user learns why nothing answers. The tries go on as
// before. Failures that a later try may not meet are not told.
int CBootLink::SendLocked(const uint8_t* data, size_t length) {
    if (m_udpLink.Send(data, length) >= 0) return 0;
    const int error = errno;
    if (error == EINTR || error == EAGAIN || error == ENOBUFS) return 0;
    if (m_sendFailurePosted) return 0;
    m_sendFailurePosted = true;
    char reason[96];
    Note("send failed: %s", ::strerror_r(error, reason, sizeof reason));
    return error;
}

void CBootLink::NoteTryLocked(uint16_t triesLeft) {
    if (m_observer.load(std::memory_order_relaxed) == nullptr) return;
    const uint8_t code = m_currentCommand.load(std::memory_order_relaxed);
    const unsigned total = m_triesTotal.load(std::memory_order_relaxed);
    const unsigned attempt = total - triesLeft + 1u;
    if (code == CMD_PROGRAM) {
        Note("CMD_PROGRAM try %u of %u (%u records, %u bytes)", attempt, total, m_batchRecords,
             m_bodyLength);
    } else if (code == CMD_READ_VERSION && m_sendState == 0) {
        Note("CMD_READ_VERSION try %u of %u (wake-up \"%s\")", attempt, total,
             WakeupText(m_wakeupVariant));
    } else {
        Note("%s try %u of %u", NameOr(code, "?"), attempt, total);
    }
}
