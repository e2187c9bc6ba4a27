// SPDX-License-Identifier: Apache-2.0
#include "SignalPipe.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace {

int g_writeFd = -1;

void OnSignal(int signal) {
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t n = ::write(g_writeFd, &number, 1);
    errno = saved;
}

}  // namespace

CSignalPipe::CSignalPipe(Handler handler) : m_handler(std::move(handler)) {}

CSignalPipe::~CSignalPipe() {
    for (int s : {SIGINT, SIGTERM, SIGHUP}) ::signal(s, SIG_DFL);
    g_writeFd = -1;
    m_notifier.reset();
    for (int fd : m_fds)
        if (fd >= 0) ::close(fd);
}

bool CSignalPipe::Install() {
    if (::pipe2(m_fds, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    g_writeFd = m_fds[1];
    m_notifier = std::make_unique<QSocketNotifier>(m_fds[0], QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] { Drain(); });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP})
        if (::sigaction(s, &action, nullptr) != 0) return false;
    return true;
}

void CSignalPipe::Drain() {
    unsigned char numbers[16];
    for (;;) {
        const ssize_t n = ::read(m_fds[0], numbers, sizeof numbers);
        if (n <= 0) return;
        for (ssize_t i = 0; i < n; ++i) m_handler(numbers[i]);
    }
}
