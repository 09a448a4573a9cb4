#pragma once

#include <QTcpServer>

#include "platform.h"

namespace nalvexa {

// Keeps what a client may buffer with us small, also while it waits its turn.
class BoundedTcpServer : public QTcpServer {
public:
    static constexpr qint64 kReadBufferSize = 64 * 1024;

protected:
    void incomingConnection(qintptr descriptor) override;
};

class QtTcpListener : public ITcpListener {
public:
    QtTcpListener();
    void setEvents(ITcpEvents* events) override { events_ = events; }
    bool listen(const std::string& bindAddress, uint32_t port) override;
    uint32_t listeningPort() const override { return server_.serverPort(); }
    void close() override;
    std::unique_ptr<IClientLink> takePending() override;

private:
    BoundedTcpServer server_;
    ITcpEvents* events_ = nullptr;
};

}  // namespace nalvexa
