// SPDX-License-Identifier: MIT
#pragma once

#include <asio/ip/tcp.hpp>
#include <memory>
#include <string>

#include "platform.h"

namespace nalvexa {

// One client on its own socket. The loop receives into a small read-ahead
// only once the core has read everything in it, so that what the core does
// not want yet stays in the system's buffer (and the peer is slowed). What
// the core sends during one event goes out together once the event has
// been handled.
class AsioClientLink : public IClientLink {
public:
    AsioClientLink(asio::ip::tcp::socket socket, std::string peer, ITcpEvents* events);
    ~AsioClientLink() override;

    size_t read(uint8_t* into, size_t max) override;
    bool inputEnded() const override { return ended_ && ahead_ == aheadEnd_; }
    bool send(const uint8_t* bytes, size_t count) override;
    size_t unsentBytes() const override { return unsent_.size(); }
    int lastError() const override { return lastError_; }
    bool isConnected() const override { return socket_.is_open() && failure_.empty(); }
    std::string peer() const override { return peer_; }
    std::string failure() const override { return failure_; }
    void close() override;
    void drain() override;

private:
    asio::io_context& Loop();
    void Receive();
    void WatchWritable();
    void FlushLater();
    void Flush();
    void Fail(const std::error_code& error);

    asio::ip::tcp::socket socket_;
    std::string peer_;
    ITcpEvents* events_;
    std::string unsent_;
    std::string failure_;
    int lastError_ = 0;
    bool ended_ = false;  // the peer will send nothing more
    bool receiving_ = false, watchingWrite_ = false, flushPosted_ = false;
    static constexpr size_t kReadAhead = 16384;
    std::unique_ptr<uint8_t[]> readAhead_ = std::make_unique<uint8_t[]>(kReadAhead);
    size_t ahead_ = 0, aheadEnd_ = 0;  // the unread part of the read-ahead
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace nalvexa
