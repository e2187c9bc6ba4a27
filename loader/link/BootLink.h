// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

#include "BootCommands.h"
#include "FrameCodec.h"
#include "HexFile.h"
#include "LinkObserver.h"
#include "NotifyTarget.h"
#include "UdpLink.h"

// The loader's whole connection to one unit: its socket, its firmware file, the one command in
// progress, and the worker thread that sends, resends and decodes.
class CBootLink {
  public:
    static constexpr int kStopWaitMs = 1000;
    static constexpr uint16_t kReceiveCapacity = 245;

    CBootLink();
    ~CBootLink();
    CBootLink(const CBootLink&) = delete;
    CBootLink& operator=(const CBootLink&) = delete;

    // Dialog thread; the worker arms follow-up programming batches through StartCommandLocked.
    bool StartCommand(uint8_t code, uint8_t variant, uint16_t tries, uint16_t timeout);
    void StartWorker(INotifyTarget* window);
    void StopWorker();
    // Ends the worker within a pass with nothing more sent, not even an armed command: for a
    // run that is interrupted, where a half-flashed unit must not be told to restart.
    void StopWorkerNow();
    void GetProgress(uint32_t& done, uint32_t& total) const;
    // Data bytes of the programming batches answered in this run, against the file's total;
    // any thread. done restarts at 0 with each run and with each Load.
    void GetByteProgress(uint32_t& done, uint32_t& total) const;
    // Told of every datagram and of the engine's view of each. Set before StartWorker;
    // nullptr for none. Not owned.
    void SetObserver(ILinkObserver* observer);
    uint16_t GetImageCrc();

    bool Open(uint16_t port, uint32_t address) { return m_udpLink.Open(port, address); }
    bool IsOpen() const { return m_udpLink.IsOpen(); }
    void Close() { m_udpLink.Close(); }
    bool Load();
    void CloseFile() { m_hexFile.CloseFile(); }

    void SetMessageBox(IMessageBox* box) { m_udpLink.SetMessageBox(box); }
    void SetFileChooser(IFileChooser* chooser) { m_hexFile.SetFileChooser(chooser); }
    // Runs f(hexFile) serialised with the worker's reading of the file, for a look at it from
    // the dialog thread while a worker runs.
    template <class F>
    auto WithHexFile(F&& f) {
        std::lock_guard<std::mutex> guard(m_lock);
        return f(m_hexFile);
    }
    CUdpLink& UdpLink() { return m_udpLink; }
    bool WorkerRunning() const { return m_worker.joinable(); }
    // The file differed from the one loaded when a programming batch or the verify was to be
    // built, so that request was refused. Cleared by Load and by the start of a programming run.
    bool FileChanged() const { return m_fileChanged.load(std::memory_order_relaxed); }
    uint8_t CurrentCommand() const { return m_currentCommand.load(std::memory_order_relaxed); }

    // The millisecond tick count, 32 bits wide and wrapping like the platform's.
    static uint32_t GetTickCount();
    // Tests shift the tick count to run a command across its wrap.
    static void SetTickOffset(uint32_t offset);

  private:
    bool StartCommandLocked(uint8_t code, uint8_t variant, uint16_t tries, uint16_t timeout);
    bool BuildProgramBody(uint16_t& n);
    void WorkerMain();
    enum class EReplyRole { kAnswer, kRepeat, kStray };
    EReplyRole TakeReplyLocked(uint8_t code);
    void ReceiveStep();
    void SendStep(bool firstSendOnly = false);
    // Returns the error number of a send failure to post, 0 for none.
    int SendStepLocked(bool firstSendOnly);
    int SendLocked(const uint8_t* data, size_t length);
    void DispatchReply(bool answer);
    void Post(uint32_t message, uint32_t wParam, bool withReply, bool mustArrive);
    void NoteReply(uint8_t code, EReplyRole role);
    void NoteTryLocked(uint16_t triesLeft);
    void Note(const char* format, ...) __attribute__((format(printf, 2, 3)));

    std::thread m_worker;
    std::atomic<INotifyTarget*> m_notifyWindow{nullptr};
    uint8_t m_requestFrame[kFrameBufferSize] = {};
    uint16_t m_encodedLength = 0;
    CFrameDecoder m_decoder;  // reply buffer, reply length, frame complete
    std::atomic<uint16_t> m_triesLeft{0};
    std::atomic<uint8_t> m_currentCommand{0};
    uint8_t m_wakeupVariant = 0;
    bool m_timedOut = false;  // under m_lock: arming a command clears it, on either thread
    // The command in progress has had its answer; a second one is a duplicate. Under m_lock.
    bool m_answered = false;
    // A failed send of the command in progress has been posted; the next ones are not. Under
    // m_lock.
    bool m_sendFailurePosted = false;
    uint32_t m_sendState = 0;
    std::atomic<uint16_t> m_triesTotal{0};
    uint16_t m_timeout = 0;
    CHexFile m_hexFile;
    bool m_rewindBeforeProgramming = true;
    std::atomic<bool> m_stopRequested{false};
    CUdpLink m_udpLink;
    std::atomic<bool> m_fileChanged{false};

    // Guards the command in progress and the file's reading. Taken on the dialog thread by
    // StartCommand, Load (retiring a live programming run), StopWorkerNow (disarming),
    // GetImageCrc and WithHexFile; on the worker by SendStep, by ReceiveStep (to take a reply
    // and to see a time-out) and by DispatchReply (to arm the next batch).
    std::mutex m_lock;
    // A record read for a batch that it no longer fitted; it opens the next batch.
    uint8_t m_carry[kLineBufferSize / 2] = {};
    uint16_t m_carryLength = 0;

    std::atomic<ILinkObserver*> m_observer{nullptr};
    // The batch armed now, under m_lock: its records, body bytes and data bytes.
    uint16_t m_batchRecords = 0;
    uint16_t m_bodyLength = 0;
    uint32_t m_batchDataBytes = 0;
    std::atomic<uint32_t> m_bytesDone{0};
};
