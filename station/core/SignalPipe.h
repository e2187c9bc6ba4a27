// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <QSocketNotifier>
#include <functional>
#include <memory>

// SIGINT, SIGTERM and SIGHUP delivered on the station's one thread: the handler only writes the
// signal's number into a pipe that the event loop watches. Nothing is blocked, so the children
// inherit a clean signal mask and take their own interrupt path.
class CSignalPipe {
  public:
    using Handler = std::function<void(int signal)>;
    explicit CSignalPipe(Handler handler);
    ~CSignalPipe();
    CSignalPipe(const CSignalPipe&) = delete;
    CSignalPipe& operator=(const CSignalPipe&) = delete;

    bool Install();

  private:
    void Drain();

    Handler m_handler;
    int m_fds[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> m_notifier;
};
