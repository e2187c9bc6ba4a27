// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <string>

// Opens the --trace file for appending, without blocking (a FIFO without a reader is refused
// rather than waited on), and tries an empty write, so that a file that takes nothing
// (/dev/full) is refused before any unit is woken. The descriptor, or -1 with the reason.
int OpenTraceFile(const std::string& path, std::string& reason);
