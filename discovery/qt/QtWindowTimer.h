// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QTimer>
#include <functional>

#include "core/WindowLayer.h"

// tmrTimeout: a window-thread timer that calls its handler on every tick.
class CQtWindowTimer : public IWindowTimer {
  public:
    explicit CQtWindowTimer(std::function<void()> onTick) {
        QObject::connect(&m_timer, &QTimer::timeout, [tick = std::move(onTick)] { tick(); });
    }

    CResult SetInterval(int milliseconds) override {
        if (milliseconds <= 0) return FailWith(kErrBadTimerInterval);
        m_timer.setInterval(milliseconds);
        return Success();
    }
    CResult Start() override {
        m_timer.start();
        return Success();
    }
    void Stop() override { m_timer.stop(); }
    bool IsActive() const { return m_timer.isActive(); }
    int Interval() const { return m_timer.interval(); }

  private:
    QTimer m_timer;
};
