// SPDX-License-Identifier: Apache-2.0
#pragma once

// Outcome of one platform operation. Number 0 is success; any other number is shown, with its
// description, in the error report of the step that asked for the operation.
struct CResult {
    int number = 0;
    const char* description = "";

    bool Ok() const { return number == 0; }
};

// Our own error numbers for the window layer; socket failures carry errno instead.
enum EPelliskError : int {
    kErrRowOutOfRange = 35600,
    kErrSubItemOutOfRange = 35601,
    kErrNoSuchColumn = 35602,
    kErrNoSuchImage = 35603,
    kErrListenerNotOpen = 35604,
    kErrBadTimerInterval = 35605,
    kErrBadSize = 35606,
};

inline CResult Success() {
    return {};
}
CResult FailWith(EPelliskError error);
// strerror's text for err; valid until the next call, which is soon enough for one report.
CResult ErrnoResult(int err);
