// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <cstdint>

#include "FrameCodec.h"

// One notification with its two parameters. A reply travels as a copy, so the dialog never
// reads a buffer that the worker may be decoding into again.
struct CBootMessage {
    uint32_t message = 0;  // WM_BOOT_REPLY, WM_BOOT_TIMEOUT or WM_BOOT_SEND_FAILED
    uint32_t wParam = 0;   // reply length, the timed-out command's code, or an error number
    uint8_t reply[kReplyBufferSize] = {};  // WM_BOOT_REPLY: the decoded reply, CRC included
    // A time-out, or the answer that ends the command in progress: the sequence hangs on it,
    // so a target may drop stray replies when full but never this.
    bool mustArrive = false;
};

// Where the worker posts. Posting must never block the worker; messages reach the dialog
// thread in the order they were posted.
class INotifyTarget {
  public:
    virtual ~INotifyTarget() = default;
    virtual void PostBootMessage(const CBootMessage& message) = 0;
};
