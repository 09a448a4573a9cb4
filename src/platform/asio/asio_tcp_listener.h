// SPDX-License-Identifier: MIT
#pragma once

#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "platform.h"

namespace nalvexa {

// The listening socket, and the clients that wait their turn. Every accepted
// socket gets keepalive probes (and the same limit for unacknowledged data),
// no send delay and non-blocking reads; a client that has closed or
// vanished while it waited is dropped from the queue (checked every second).
class AsioTcpListener : public ITcpListener {
public:
    static constexpr size_t kMaxWaiting = 256;  // beyond this the system's backlog holds them

    explicit AsioTcpListener(asio::io_context& io);
    ~AsioTcpListener() override;
    void setEvents(ITcpEvents* events) override { events_ = events; }
    void setKeepAlive(int idleSeconds) override { keepAliveSeconds_ = idleSeconds; }
    void setAdmission(std::function<bool(const std::string&)> admits) override { admits_ = std::move(admits); }
    bool listen(const std::string& bindAddress, uint32_t port) override;
    std::string listenError() const override { return listenError_; }
    uint32_t listeningPort() const override;
    void close() override;
    std::unique_ptr<IClientLink> takePending() override;

private:
    struct Waiting {
        asio::ip::tcp::socket socket;
        std::string peer;
    };
    bool Bind(const asio::ip::tcp::endpoint& at, std::error_code& error);
    void Accept();
    void Prune();
    void DropGone();

    asio::io_context& io_;
    asio::ip::tcp::acceptor acceptor_;
    asio::steady_timer prune_;
    std::deque<Waiting> waiting_;
    ITcpEvents* events_ = nullptr;
    std::function<bool(const std::string&)> admits_;
    int keepAliveSeconds_ = 10;
    bool accepting_ = false, pruning_ = false;
    std::string listenError_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace nalvexa
