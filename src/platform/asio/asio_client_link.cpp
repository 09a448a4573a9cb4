// SPDX-License-Identifier: MIT
#include "asio_client_link.h"

#include <asio/post.hpp>
#include <asio/steady_timer.hpp>
#include <algorithm>
#include <chrono>
#include <thread>

#include "posted_tasks.h"
#include "socket_options.h"

namespace nalvexa {

namespace {

// Sends what a closed connection still owed its peer, then closes the
// socket: at most a few seconds, whatever the peer does.
class Lingering : public std::enable_shared_from_this<Lingering> {
public:
    Lingering(asio::ip::tcp::socket socket, std::string bytes)
        : socket_(std::move(socket)), bytes_(std::move(bytes)), deadline_(socket_.get_executor())
    {
    }
    void Start()
    {
        deadline_.expires_after(std::chrono::seconds(5));
        deadline_.async_wait([self = shared_from_this()](const std::error_code& error) {
            if (!error) self->Done();
        });
        Flush();
    }

private:
    void Flush()
    {
        while (!bytes_.empty() && socket_.is_open()) {
            std::error_code error;
            const size_t n = socket_.write_some(asio::buffer(bytes_), error);
            if (error == asio::error::would_block) {
                socket_.async_wait(asio::ip::tcp::socket::wait_write,
                                   [self = shared_from_this()](const std::error_code& e) {
                                       if (!e) self->Flush();
                                   });
                return;
            }
            if (error) break;
            bytes_.erase(0, n);
        }
        Done();
    }
    void Done()
    {
        std::error_code ignored;
        socket_.close(ignored);
        deadline_.cancel();
    }

    asio::ip::tcp::socket socket_;
    std::string bytes_;
    asio::steady_timer deadline_;
};

}  // namespace

AsioClientLink::AsioClientLink(asio::ip::tcp::socket socket, std::string peer, ITcpEvents* events)
    : socket_(std::move(socket)), peer_(std::move(peer)), events_(events)
{
    Receive();
}

asio::io_context& AsioClientLink::Loop()
{
    return static_cast<asio::io_context&>(socket_.get_executor().context());
}

AsioClientLink::~AsioClientLink()
{
    *alive_ = false;
    close();
}

void AsioClientLink::Receive()
{
    if (receiving_ || ended_ || !socket_.is_open()) return;
    receiving_ = true;
    ahead_ = aheadEnd_ = 0;
    socket_.async_receive(asio::buffer(readAhead_.get(), kReadAhead),
                          PostedTasks::After([this, alive = alive_](const std::error_code& error, size_t n) {
                              if (!*alive) return;
                              receiving_ = false;
                              if (error == asio::error::operation_aborted) return;
                              if (!error) {
                                  aheadEnd_ = n;
                              } else {
                                  ended_ = true;  // half-closed or gone: the core answers what it has, then closes
                                  if (error != asio::error::eof) Fail(error);
                              }
                              if (events_) events_->onClientReadable();
                          }));
}

void AsioClientLink::WatchWritable()
{
    if (watchingWrite_ || !socket_.is_open()) return;
    watchingWrite_ = true;
    socket_.async_wait(asio::ip::tcp::socket::wait_write,
                       PostedTasks::After([this, alive = alive_](const std::error_code& error) {
                           if (!*alive) return;
                           watchingWrite_ = false;
                           if (error) return;
                           const size_t before = unsent_.size();
                           Flush();
                           if (unsent_.size() != before && events_) events_->onClientReadable();
                       }));
}

size_t AsioClientLink::read(uint8_t* into, size_t max)
{
    const size_t n = std::min(max, aheadEnd_ - ahead_);
    std::copy(readAhead_.get() + ahead_, readAhead_.get() + ahead_ + n, into);
    ahead_ += n;
    // All read: receive the next bytes, and tell the core when they are here.
    if (ahead_ == aheadEnd_) Receive();
    return n;
}

bool AsioClientLink::send(const uint8_t* bytes, size_t count)
{
    if (!socket_.is_open() || !failure_.empty()) {
        if (!lastError_) lastError_ = asio::error::not_connected;
        return false;
    }
    unsent_.append(reinterpret_cast<const char*>(bytes), count);
    FlushLater();
    return true;
}

void AsioClientLink::FlushLater()
{
    // An answer is often sent in pieces (its status, then its data): one write for all of them.
    if (flushPosted_ || watchingWrite_) return;
    flushPosted_ = true;
    PostedTasks::Add(Loop(), [this, alive = alive_] {
        if (!*alive) return;
        flushPosted_ = false;
        Flush();
    });
}

void AsioClientLink::Flush()
{
    while (!unsent_.empty() && socket_.is_open()) {
        std::error_code error;
        const size_t n = socket_.write_some(asio::buffer(unsent_), error);
        if (!error) {
            unsent_.erase(0, n);
            continue;
        }
        if (error == asio::error::would_block || error == asio::error::try_again) {
            WatchWritable();
            return;
        }
        Fail(error);
        unsent_.clear();
    }
}

void AsioClientLink::Fail(const std::error_code& error)
{
    if (!failure_.empty()) return;
    lastError_ = error.value();
    failure_ = FailureText(error);
    // Told on the loop, never from inside the core's own read or send.
    PostedTasks::Add(Loop(), [this, alive = alive_] {
        if (*alive && events_) events_->onClientClosed();
    });
}

void AsioClientLink::close()
{
    if (!socket_.is_open()) return;
    std::error_code ignored;
    socket_.cancel(ignored);  // the watches end here, not on the socket's next owner
    if (unsent_.empty() || !failure_.empty()) {
        socket_.close(ignored);
    } else {
        socket_.shutdown(asio::ip::tcp::socket::shutdown_receive, ignored);
        std::make_shared<Lingering>(std::move(socket_), std::move(unsent_))->Start();
    }
    unsent_.clear();
}

void AsioClientLink::drain()
{
    // The program ends: what is still unsent gets a second at most.
    if (failure_.empty()) Flush();
    for (int i = 0; i < 100 && socket_.is_open() && !unsent_.empty() && failure_.empty(); ++i) {
        Flush();
        if (unsent_.empty()) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace nalvexa
