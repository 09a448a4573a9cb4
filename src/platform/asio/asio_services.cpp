// SPDX-License-Identifier: MIT
#include "asio_services.h"

#include <asio/post.hpp>
#include <asio/steady_timer.hpp>
#include <chrono>
#include <thread>

namespace nalvexa {

namespace {

class AsioTimer : public ITimer {
public:
    AsioTimer(asio::io_context& io, std::function<void()> onExpiry) : timer_(io), onExpiry_(std::move(onExpiry)) {}
    ~AsioTimer() override { *alive_ = false; }

    void start(int ms) override
    {
        // A restart cancels the wait before; its handler must not fire for this start.
        const uint64_t generation = ++generation_;
        active_ = true;
        timer_.expires_after(std::chrono::milliseconds(ms < 0 ? 0 : ms));
        timer_.async_wait([this, alive = alive_, generation](const std::error_code& error) {
            if (!*alive || error || generation != generation_) return;
            active_ = false;
            onExpiry_();
        });
    }
    void stop() override
    {
        ++generation_;
        active_ = false;
        timer_.cancel();
    }
    bool isActive() const override { return active_; }

private:
    asio::steady_timer timer_;
    std::function<void()> onExpiry_;
    uint64_t generation_ = 0;
    bool active_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace

int64_t AsioTimerHost::nowMs() const
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::unique_ptr<ITimer> AsioTimerHost::createTimer(std::function<void()> onExpiry)
{
    return std::make_unique<AsioTimer>(io_, std::move(onExpiry));
}

void AsioTaskPoster::post(std::function<void()> task) { asio::post(io_, std::move(task)); }

void ThreadSleeper::sleepMs(int ms)
{
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace nalvexa
