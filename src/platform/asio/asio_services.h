// SPDX-License-Identifier: MIT
// The core's platform services on an Asio loop: timers and posted tasks.
#pragma once

#include <asio/io_context.hpp>

#include "platform.h"

namespace nalvexa {

class AsioTimerHost : public ITimerHost {
public:
    explicit AsioTimerHost(asio::io_context& io) : io_(io) {}
    int64_t nowMs() const override;
    std::unique_ptr<ITimer> createTimer(std::function<void()> onExpiry) override;

private:
    asio::io_context& io_;
};

class AsioTaskPoster : public ITaskPoster {
public:
    explicit AsioTaskPoster(asio::io_context& io) : io_(io) {}
    void post(std::function<void()> task) override;

private:
    asio::io_context& io_;
};


}  // namespace nalvexa
