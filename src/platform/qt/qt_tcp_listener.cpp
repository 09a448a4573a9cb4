#include "qt_tcp_listener.h"

#include <QHostAddress>
#include <QTcpSocket>

namespace nalvexa {

namespace {

class QtClientLink : public IClientLink {
public:
    QtClientLink(QTcpSocket* socket, ITcpEvents* events) : socket_(socket)
    {
        socket_->setParent(nullptr);
        QObject::connect(socket_, &QTcpSocket::readyRead, [events] { events->onClientReadable(); });
        QObject::connect(socket_, &QTcpSocket::disconnected, [events] { events->onClientClosed(); });
    }
    ~QtClientLink() override { close(); }

    size_t bytesAvailable() const override { return socket_ ? static_cast<size_t>(socket_->bytesAvailable()) : 0; }
    size_t read(uint8_t* into, size_t max) override
    {
        if (!socket_ || max == 0) return 0;
        qint64 n = socket_->read(reinterpret_cast<char*>(into), static_cast<qint64>(max));
        return n > 0 ? static_cast<size_t>(n) : 0;
    }
    bool send(const uint8_t* bytes, size_t count) override
    {
        if (!socket_ || socket_->state() != QAbstractSocket::ConnectedState) {
            lastError_ = socket_ ? static_cast<int>(socket_->error()) : -1;
            return false;
        }
        qint64 n = socket_->write(reinterpret_cast<const char*>(bytes), static_cast<qint64>(count));
        if (n != static_cast<qint64>(count)) {
            lastError_ = static_cast<int>(socket_->error());
            return false;
        }
        // Written by the loop; a flush here could report the peer gone while we are still sending.
        return true;
    }
    int lastError() const override { return lastError_; }
    bool isConnected() const override { return socket_ && socket_->state() == QAbstractSocket::ConnectedState; }
    void drain() override
    {
        if (!socket_) return;
        QObject::disconnect(socket_, nullptr, nullptr, nullptr);
        socket_->flush();
        if (socket_->bytesToWrite() > 0) socket_->waitForBytesWritten(1000);
    }
    void close() override
    {
        if (!socket_) return;
        // No events from a connection we have let go of.
        QObject::disconnect(socket_, nullptr, nullptr, nullptr);
        socket_->disconnectFromHost();
        socket_->deleteLater();
        socket_ = nullptr;
    }

private:
    QTcpSocket* socket_;
    int lastError_ = 0;
};

}  // namespace

void BoundedTcpServer::incomingConnection(qintptr descriptor)
{
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    socket->setReadBufferSize(kReadBufferSize);
    addPendingConnection(socket);
}

QtTcpListener::QtTcpListener()
{
    // Waiting clients are taken up by the core, one at a time.
    server_.setMaxPendingConnections(64);
    QObject::connect(&server_, &QTcpServer::newConnection, [this] {
        if (events_) events_->onConnectionPending();
    });
}

bool QtTcpListener::listen(const std::string& bindAddress, uint32_t port)
{
    if (port > 65535) return false;
    QHostAddress address(QHostAddress::Any);
    if (!bindAddress.empty() && !address.setAddress(QString::fromStdString(bindAddress))) return false;
    return server_.listen(address, static_cast<quint16>(port));
}

void QtTcpListener::close()
{
    server_.close();
    // Clients that were waiting for their turn are let go with the listener.
    while (QTcpSocket* waiting = server_.nextPendingConnection()) {
        waiting->abort();
        waiting->deleteLater();
    }
}

std::unique_ptr<IClientLink> QtTcpListener::takePending()
{
    QTcpSocket* socket = server_.nextPendingConnection();
    if (!socket) return nullptr;
    return std::make_unique<QtClientLink>(socket, events_);
}

}  // namespace nalvexa
