// SPDX-License-Identifier: MIT
#include "asio_can_watch.h"

#include "posted_tasks.h"
#ifdef _WIN32
#include <asio/windows/object_handle.hpp>
#else
#include <asio/posix/stream_descriptor.hpp>
#endif

namespace nalvexa {

#ifdef _WIN32
class AsioCanWatch::Waiter {
public:
    Waiter(asio::io_context& io, ReadyHandle event) : handle_(io, event) {}
    ~Waiter()
    {
        std::error_code ignored;
        handle_.cancel(ignored);
    }
    template <class Handler>
    void Wait(Handler h)
    {
        handle_.async_wait(std::move(h));
    }

private:
    asio::windows::object_handle handle_;  // closes the event
};
#else
class AsioCanWatch::Waiter {
public:
    Waiter(asio::io_context& io, ReadyHandle fd) : descriptor_(io, fd) {}
    ~Waiter()
    {
        std::error_code ignored;
        descriptor_.cancel(ignored);
        descriptor_.release();  // the back end's
    }
    template <class Handler>
    void Wait(Handler h)
    {
        descriptor_.async_wait(asio::posix::stream_descriptor::wait_read, std::move(h));
    }

private:
    asio::posix::stream_descriptor descriptor_;
};
#endif

AsioCanWatch::AsioCanWatch(asio::io_context& io) : io_(io) {}

AsioCanWatch::~AsioCanWatch()
{
    *alive_ = false;
    waiter_.reset();
}

void AsioCanWatch::Watch(ReadyHandle handle, std::function<void()> ready)
{
    waiter_ = std::make_unique<Waiter>(io_, handle);
    ++watched_;
    ready_ = std::move(ready);
    Arm();
}

void AsioCanWatch::Arm()
{
    waiter_->Wait(PostedTasks::After([this, alive = alive_, watched = watched_](const std::error_code& error) {
        if (!*alive || error || watched != watched_) return;
        ready_();
        // Reading may have closed the channel, and with it this watch.
        if (*alive && watched == watched_) Arm();
    }));
}

}  // namespace nalvexa
