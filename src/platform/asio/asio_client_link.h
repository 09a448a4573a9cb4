// SPDX-License-Identifier: MIT
#pragma once

#include <asio/ip/tcp.hpp>
#include <memory>
#include <string>

#include "platform.h"

namespace nalvexa {

// One client on its own socket, read only when the core asks: the loop
// watches for bytes only while the core has read everything there was, so
// that what it does not want yet stays in the system's buffer.
class AsioClientLink : public IClientLink {
public:
    AsioClientLink(asio::ip::tcp::socket socket, std::string peer, ITcpEvents* events);
    ~AsioClientLink() override;

    size_t bytesAvailable() const override;
    size_t read(uint8_t* into, size_t max) override;
    bool inputEnded() const override { return ended_; }
    bool send(const uint8_t* bytes, size_t count) override;
    size_t unsentBytes() const override { return unsent_.size(); }
    int lastError() const override { return lastError_; }
    bool isConnected() const override { return socket_.is_open() && failure_.empty(); }
    std::string peer() const override { return peer_; }
    std::string failure() const override { return failure_; }
    void close() override;
    void drain() override;

private:
    void WatchReadable();
    void WatchWritable();
    void Flush();
    void Fail(const std::error_code& error);

    asio::ip::tcp::socket socket_;
    std::string peer_;
    ITcpEvents* events_;
    std::string unsent_;
    std::string failure_;
    int lastError_ = 0;
    bool ended_ = false;
    bool watchingRead_ = false, watchingWrite_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace nalvexa
