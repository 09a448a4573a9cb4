// SPDX-License-Identifier: MIT
#include "asio_tcp_listener.h"

#include <asio/ip/v6_only.hpp>

#include "asio_client_link.h"
#include "posted_tasks.h"
#include "socket_options.h"

namespace nalvexa {

AsioTcpListener::AsioTcpListener(asio::io_context& io) : io_(io), acceptor_(io), prune_(io) {}

AsioTcpListener::~AsioTcpListener()
{
    *alive_ = false;
    close();
}

bool AsioTcpListener::Bind(const asio::ip::tcp::endpoint& at, std::error_code& error)
{
    std::error_code ignored;
    acceptor_.close(ignored);
    acceptor_.open(at.protocol(), error);
    if (error) return false;
    if (at.address().is_v6() && at.address().is_unspecified())
        acceptor_.set_option(asio::ip::v6_only(false), ignored);  // IPv4 clients too
#ifndef _WIN32
    // A port left in TIME_WAIT by the last run is free to use again (on Windows this would share a busy one).
    acceptor_.set_option(asio::socket_base::reuse_address(true), ignored);
#endif
    acceptor_.bind(at, error);
    if (!error) acceptor_.listen(asio::socket_base::max_listen_connections, error);
    if (error) acceptor_.close(ignored);
    return !error;
}

bool AsioTcpListener::listen(const std::string& bindAddress, uint32_t port)
{
    const std::string where = (bindAddress.empty() ? std::string("0.0.0.0") : bindAddress) + ":" + std::to_string(port);
    if (port > 65535) {
        listenError_ = where + ": no such port";
        return false;
    }
    std::error_code error;
    const auto p = static_cast<unsigned short>(port);
    if (bindAddress.empty()) {
        // Every address, IPv6 and IPv4; IPv4 alone where the system has no IPv6.
        if (!Bind({asio::ip::address_v6::any(), p}, error) && !Bind({asio::ip::address_v4::any(), p}, error)) {
            listenError_ = where + ": " + error.message();
            return false;
        }
    } else {
        const asio::ip::address address = asio::ip::make_address(bindAddress, error);
        if (error) {
            listenError_ = where + ": not an IP address";
            return false;
        }
        if (!Bind({address, p}, error)) {
            listenError_ = where + ": " + error.message();
            return false;
        }
    }
    listenError_.clear();
    Accept();
    return true;
}

uint32_t AsioTcpListener::listeningPort() const
{
    std::error_code error;
    const auto at = acceptor_.local_endpoint(error);
    return error ? 0 : at.port();
}

void AsioTcpListener::Accept()
{
    if (accepting_ || !acceptor_.is_open() || waiting_.size() >= kMaxWaiting) return;
    accepting_ = true;
    acceptor_.async_accept(PostedTasks::After([this, alive = alive_](const std::error_code& error,
                                                                     asio::ip::tcp::socket socket) {
        if (!*alive) return;
        accepting_ = false;
        if (error == asio::error::operation_aborted) return;
        std::string peer = error ? std::string() : PeerText(socket);
        if (!error && admits_ && !admits_(peer)) {
            std::error_code ignored;
            socket.close(ignored);
            if (events_) events_->onClientRefused(peer);
        } else if (!error) {
            PrepareClientSocket(socket, keepAliveSeconds_);
            waiting_.push_back({std::move(socket), std::move(peer)});
            if (waiting_.size() >= kMaxWaiting) DropGone();
            Prune();
            if (events_) events_->onConnectionPending();
        }
        // A failed accept (the peer gave up, no descriptors left) does not end listening.
        Accept();
    }));
}

void AsioTcpListener::Prune()
{
    if (pruning_ || waiting_.empty()) return;
    pruning_ = true;
    prune_.expires_after(std::chrono::seconds(1));
    prune_.async_wait(PostedTasks::After([this, alive = alive_](const std::error_code& error) {
        if (!*alive) return;
        pruning_ = false;
        if (error) return;
        DropGone();
        Prune();
    }));
}

void AsioTcpListener::DropGone()
{
    for (auto it = waiting_.begin(); it != waiting_.end();) {
        if (PeerGone(it->socket))
            it = waiting_.erase(it);
        else
            ++it;
    }
    Accept();
}

void AsioTcpListener::close()
{
    std::error_code ignored;
    acceptor_.close(ignored);
    // Clients that were waiting for their turn are let go with the listener.
    waiting_.clear();
    prune_.cancel();
}

std::unique_ptr<IClientLink> AsioTcpListener::takePending()
{
    // Not pruned here: a client that sends its requests and shuts its sending
    // side at once is still owed its answers. Only one that has waited (and
    // closed meanwhile) is dropped, by the timer.
    if (waiting_.empty()) return nullptr;
    Waiting next = std::move(waiting_.front());
    waiting_.pop_front();
    Accept();
    return std::make_unique<AsioClientLink>(std::move(next.socket), std::move(next.peer), events_);
}

}  // namespace nalvexa
