// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <string>

// stdout and stderr that never stop a flash. A write that fails (the reader went away, the
// terminal hung up) drops that output from then on; the first loss of stdout is said once on
// stderr, while stderr still works. SIGPIPE must be ignored for a write to fail rather than
// kill (CatchInterrupts does so).

// Writes text whole to fd, across short writes and signals. False when it could not, now or
// earlier: the text is dropped.
bool WriteAll(int fd, const std::string& text);
// A stderr line: "quillon-flash: " and text.
bool SayOnStderr(const std::string& text);
// A unit that a quillon-flash of many units started: its stdout is the pipe to that parent,
// so losing it means the parent is gone and no note is written.
void KeepOutputLossQuiet();
