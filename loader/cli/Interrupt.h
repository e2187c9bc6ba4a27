// SPDX-License-Identifier: Apache-2.0
#pragma once

// SIGINT and SIGTERM, caught so that a run can end cleanly and say what it leaves behind: the
// deliberate ways to stop. Signals after the first are ignored, so that a second Ctrl+C does
// not cut the orderly stop short; that stop is bounded and the process then ends by itself.
// SIGHUP and SIGPIPE are ignored: a closed terminal or a reader gone never stops a flash, its
// output is dropped instead (Output.h).
void CatchInterrupts();
// The signal caught, 0 while none was.
int InterruptSignal();
inline bool Interrupted() {
    return InterruptSignal() != 0;
}
