// SPDX-License-Identifier: MIT
#pragma once

#include <QTcpServer>
#include <QTimer>
#include <deque>
#include <string>

#include "platform.h"

namespace nalvexa {

// A connection accepted and waiting for its turn: its socket and its peer.
struct WaitingClient {
    int fd = -1;
    std::string peer;
};

// Hands the accepted sockets to its owner instead of keeping them.
class AcceptingServer : public QTcpServer {
public:
    std::function<void(qintptr descriptor)> onAccepted;

protected:
    void incomingConnection(qintptr descriptor) override
    {
        if (onAccepted) onAccepted(descriptor);
    }
};

// The listening socket, and the clients that wait their turn. Every accepted
// socket gets keepalive probes (and the same limit for unacknowledged data),
// no send delay and non-blocking reads; a client that has closed or
// vanished while it waited is dropped from the queue (checked every second).
class QtTcpListener : public ITcpListener {
public:
    static constexpr size_t kMaxWaiting = 256;  // beyond this the system's backlog holds them

    QtTcpListener();
    ~QtTcpListener() override;
    void setEvents(ITcpEvents* events) override { events_ = events; }
    void setKeepAlive(int idleSeconds) override { keepAliveSeconds_ = idleSeconds; }
    bool listen(const std::string& bindAddress, uint32_t port) override;
    std::string listenError() const override { return listenError_; }
    uint32_t listeningPort() const override { return server_.serverPort(); }
    void close() override;
    std::unique_ptr<IClientLink> takePending() override;

private:
    void Accepted(qintptr descriptor);
    void DropGone();

    AcceptingServer server_;
    QTimer prune_;
    std::deque<WaitingClient> waiting_;
    ITcpEvents* events_ = nullptr;
    int keepAliveSeconds_ = 10;
    std::string listenError_;
};

}  // namespace nalvexa
