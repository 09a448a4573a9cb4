// SPDX-License-Identifier: MIT
#include "asio_services.h"

#include "posted_tasks.h"

#include <asio/post.hpp>
#include <asio/steady_timer.hpp>
#include <chrono>
#include <thread>

namespace nalvexa {

namespace {

// A one-shot timer that is cheap to start and stop many times a second (a
// response time-out per request): a stop leaves the system's timer alone,
// and a start that is not earlier than the wait already set keeps that wait
// and waits on from there when it ends.
class AsioTimer : public ITimer {
public:
    using Clock = std::chrono::steady_clock;

    AsioTimer(asio::io_context& io, std::function<void()> onExpiry) : timer_(io), onExpiry_(std::move(onExpiry)) {}
    ~AsioTimer() override { *alive_ = false; }

    void start(int ms) override
    {
        due_ = Clock::now() + std::chrono::milliseconds(ms < 0 ? 0 : ms);
        active_ = true;
        if (waiting_ && timer_.expiry() <= due_) return;
        Wait(due_);
    }
    void stop() override { active_ = false; }
    bool isActive() const override { return active_; }

private:
    void Wait(Clock::time_point until)
    {
        const uint64_t generation = ++generation_;
        waiting_ = true;
        timer_.expires_at(until);
        timer_.async_wait(PostedTasks::After([this, alive = alive_, generation](const std::error_code& error) {
            if (!*alive || generation != generation_) return;  // replaced by an earlier wait
            waiting_ = false;
            if (error || !active_) return;
            if (Clock::now() < due_) {
                Wait(due_);  // started again meanwhile, for later
                return;
            }
            active_ = false;
            onExpiry_();
        }));
    }

    asio::steady_timer timer_;
    std::function<void()> onExpiry_;
    Clock::time_point due_{};
    uint64_t generation_ = 0;
    bool active_ = false;
    bool waiting_ = false;
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

void AsioTaskPoster::post(std::function<void()> task) { PostedTasks::Add(io_, std::move(task)); }

}  // namespace nalvexa
