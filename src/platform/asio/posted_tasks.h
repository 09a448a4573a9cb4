// SPDX-License-Identifier: MIT
// Work deferred until the current event has been handled, run at the end of
// that event's handler rather than on a later turn of the loop: one turn per
// request instead of two (and no extra look at the system's event queue).
#pragma once

#include <asio/io_context.hpp>
#include <functional>
#include <utility>

namespace nalvexa {

class PostedTasks {
public:
    // Runs after the handler that is running now; outside one, on the loop soon.
    static void Add(asio::io_context& io, std::function<void()> task);

    // A handler for the loop that runs `f`, then what was deferred meanwhile.
    template <class F>
    static auto After(F f)
    {
        return [f = std::move(f)](auto&&... args) mutable {
            Enter();
            f(std::forward<decltype(args)>(args)...);
            Leave();
        };
    }

private:
    static void Enter();
    static void Leave();
    // The tasks there now; those they add run after the next event (or soon).
    static void RunPending();
};

}  // namespace nalvexa
