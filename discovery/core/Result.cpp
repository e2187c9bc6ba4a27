// SPDX-License-Identifier: Apache-2.0
#include "core/Result.h"

#include <cstring>

CResult FailWith(EPelliskError error) {
    switch (error) {
        case kErrRowOutOfRange:
            return {error, "Row index out of range"};
        case kErrSubItemOutOfRange:
            return {error, "Sub-item index out of range"};
        case kErrNoSuchColumn:
            return {error, "No column with that key"};
        case kErrNoSuchImage:
            return {error, "No image with that key"};
        case kErrListenerNotOpen:
            return {error, "Listener is not open"};
        case kErrBadTimerInterval:
            return {error, "Invalid timer interval"};
        case kErrBadSize:
            return {error, "Invalid size"};
    }
    return {static_cast<int>(error), "Unknown error"};
}

CResult ErrnoResult(int err) {
    if (err == 0) return Success();
    return {err, std::strerror(err)};
}
