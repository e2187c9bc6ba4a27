// SPDX-License-Identifier: Apache-2.0
#include "Interrupt.h"

#include <signal.h>

namespace {
volatile sig_atomic_t g_interrupt = 0;

void OnInterrupt(int signal) {
    if (g_interrupt == 0) g_interrupt = signal;
}
}  // namespace

void CatchInterrupts() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    // No SA_RESTART: a wait in poll returns at once to look at the flag.
    action.sa_flags = 0;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    ::signal(SIGHUP, SIG_IGN);
    ::signal(SIGPIPE, SIG_IGN);
}

int InterruptSignal() {
    return g_interrupt;
}
