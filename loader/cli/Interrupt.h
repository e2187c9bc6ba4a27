#pragma once

// SIGINT and SIGTERM, caught so that a run can end cleanly and say what it leaves behind.
// After the first one a second signal ends the process as usual.
void CatchInterrupts();
// The signal caught, 0 while none was.
int InterruptSignal();
inline bool Interrupted() {
    return InterruptSignal() != 0;
}
