// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>

#include "LinkObserver.h"

// Writes a link's datagrams and, optionally, the engine's notes as text lines to file
// descriptors that the caller opened (and closes, after the link is done with this object).
//
// Line format, one line per datagram or note, fields separated by one space:
//
//   PREFIX MS send LEN HEX          a datagram sent to the unit
//   PREFIX MS recv LEN HEX          a datagram received (also one discarded unread)
//   PREFIX MS send 15 wake "TEXT"   the wake-up datagram, shown as its 14 letters
//   PREFIX MS # NOTE                an engine note (only on the notes descriptor)
//
// PREFIX is the text given at construction, copied as is, usually the unit's target and a
// space ("127.0.0.1:6969 "); it may be empty, and is cut at kMaxPrefix characters.
// MS is the whole number of milliseconds since this object was made, in decimal.
// LEN is the datagram's length in bytes, in decimal.
// HEX is its bytes as two upper-case hexadecimal digits each, separated by single spaces;
// past kMaxShownBytes bytes the rest is left out and the line ends in " ...".
// A wake-up datagram is 15 bytes: 14 printable characters and a zero byte.
// NOTE is the engine's text, e.g. "CMD_ERASE try 2 of 3" or "reply 02 answers CMD_ERASE".
// Every line ends with "\n" and goes out in a single write(), so lines from several
// processes appending to one file opened with O_APPEND do not interleave. For example:
//
//   127.0.0.1:6969 0 send 15 wake "remotebootlstd"
//   127.0.0.1:6969 101 send 7 01 10 01 21 10 10 04
//   127.0.0.1:6969 102 # reply 01 answers CMD_READ_VERSION
//   127.0.0.1:6969 110 send 5 01 02 42 20 04
//
// Thread-safe; allocates nothing per line.
class CLinkTrace : public ILinkObserver {
  public:
    static constexpr size_t kMaxPrefix = 63;
    static constexpr size_t kMaxShownBytes = 1024;

    // datagramFd receives the datagram lines and notesFd the note lines; -1 leaves either
    // out, and both may be the same descriptor.
    CLinkTrace(int datagramFd, int notesFd, const char* prefix = "");

    void OnDatagram(EDatagramWay way, const uint8_t* data, size_t length) override;
    void OnEngineNote(const char* text) override;

    // The errno of the first datagram line that could not be written; 0 while none failed.
    int DatagramWriteError() const { return m_datagramError.load(std::memory_order_relaxed); }

  private:
    // Prefix, a time-stamp and a space; returns the characters written.
    size_t Begin(char* line) const;
    // 0, or the errno of the failed write.
    static int WriteLine(int fd, const char* line, size_t length);
    void WriteDatagramLine(const char* line, size_t length);

    int m_datagramFd;
    int m_notesFd;
    char m_prefix[kMaxPrefix + 1] = {};
    std::chrono::steady_clock::time_point m_start;
    std::atomic<int> m_datagramError{0};
};
