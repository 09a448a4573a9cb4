// SPDX-License-Identifier: MIT
#include "manual_clock.h"

#include <algorithm>

namespace nalvexa::test {

class ManualClock::Timer : public ITimer {
public:
    Timer(ManualClock& clock, std::shared_ptr<Entry> entry) : clock_(clock), entry_(std::move(entry)) {}
    ~Timer() override { entry_->active = false; }
    void start(int ms) override
    {
        entry_->active = true;
        entry_->due = clock_.now_ + std::max(ms, 0);
        entry_->order = ++clock_.starts_;
    }
    void stop() override { entry_->active = false; }
    bool isActive() const override { return entry_->active; }

private:
    ManualClock& clock_;
    std::shared_ptr<Entry> entry_;
};

std::unique_ptr<ITimer> ManualClock::createTimer(std::function<void()> onExpiry)
{
    auto entry = std::make_shared<Entry>();
    entry->fire = std::move(onExpiry);
    entries_.push_back(entry);
    return std::make_unique<Timer>(*this, entry);
}

void ManualClock::Advance(int64_t ms)
{
    const int64_t target = now_ + ms;
    for (;;) {
        std::shared_ptr<Entry> next;
        for (auto& e : entries_) {
            if (!e->active || e->due > target) continue;
            if (!next || e->due < next->due || (e->due == next->due && e->order < next->order)) next = e;
        }
        if (!next) break;
        now_ = std::max(now_, next->due);
        // A window timer repeats until its handler stops it; ours are stopped there.
        next->active = false;
        next->fire();
    }
    now_ = std::max(now_, target);
}

void ManualClock::AdvanceBefore(int64_t ms)
{
    if (ms > now_) Advance(ms - 1 - now_);
    now_ = std::max(now_, ms);
}

int64_t ManualClock::nextDue() const
{
    int64_t due = kNever;
    for (auto& e : entries_)
        if (e->active) due = std::min(due, e->due);
    return due;
}

int ManualClock::activeTimers() const
{
    return static_cast<int>(std::count_if(entries_.begin(), entries_.end(), [](auto& e) { return e->active; }));
}

}  // namespace nalvexa::test
