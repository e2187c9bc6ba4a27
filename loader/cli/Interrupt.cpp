#include "Interrupt.h"

#include <signal.h>

namespace {
volatile sig_atomic_t g_interrupt = 0;

void OnInterrupt(int signal) {
    g_interrupt = signal;
}
}  // namespace

void CatchInterrupts() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    // No SA_RESTART: a wait in poll returns at once to look at the flag.
    action.sa_flags = static_cast<int>(SA_RESETHAND);
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

int InterruptSignal() {
    return g_interrupt;
}
