// SPDX-License-Identifier: MIT
#include "posted_tasks.h"

#include <asio/post.hpp>
#include <deque>

namespace nalvexa {

namespace {

// One loop per thread: its deferred tasks, and how deep in handlers we are.
struct State {
    std::deque<std::function<void()>> tasks;
    asio::io_context* io = nullptr;
    int depth = 0;
    bool turnPosted = false;
};
thread_local State t_state;

void PostTurn()
{
    State& s = t_state;
    if (s.turnPosted || !s.io || s.tasks.empty()) return;
    s.turnPosted = true;
    asio::post(*s.io, PostedTasks::After([] { t_state.turnPosted = false; }));
}

}  // namespace

void PostedTasks::Add(asio::io_context& io, std::function<void()> task)
{
    State& s = t_state;
    s.io = &io;
    s.tasks.push_back(std::move(task));
    if (s.depth == 0) PostTurn();
}

void PostedTasks::Enter() { ++t_state.depth; }

void PostedTasks::Leave()
{
    if (--t_state.depth == 0) RunPending();
}

void PostedTasks::RunPending()
{
    State& s = t_state;
    ++s.depth;
    // Only those there now, so that tasks adding tasks cannot keep the loop from its events.
    for (size_t n = s.tasks.size(); n > 0 && !s.tasks.empty(); --n) {
        std::function<void()> task = std::move(s.tasks.front());
        s.tasks.pop_front();
        task();
    }
    --s.depth;
    PostTurn();
}

}  // namespace nalvexa
