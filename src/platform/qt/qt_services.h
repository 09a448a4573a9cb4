// SPDX-License-Identifier: MIT
// The core's platform services on the Qt event loop.
#pragma once

#include <QElapsedTimer>

#include "platform.h"

namespace nalvexa {

class QtTimerHost : public ITimerHost {
public:
    QtTimerHost() { clock_.start(); }
    int64_t nowMs() const override { return clock_.elapsed(); }
    std::unique_ptr<ITimer> createTimer(std::function<void()> onExpiry) override;

private:
    QElapsedTimer clock_;
};

class QtTaskPoster : public ITaskPoster {
public:
    void post(std::function<void()> task) override;
};

}  // namespace nalvexa
