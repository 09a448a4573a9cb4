// SPDX-License-Identifier: MIT
#include "qt_tcp_listener.h"

#include <QHostAddress>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "qt_client_link.h"

namespace nalvexa {

namespace {

constexpr int kProbeIntervalSeconds = 2;
constexpr int kProbes = 3;

std::string PeerOf(int fd)
{
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) return "?";
    char text[INET6_ADDRSTRLEN] = "?";
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
    if (address.ss_family == AF_INET6 && IN6_IS_ADDR_V4MAPPED(&v6->sin6_addr)) {
        ::inet_ntop(AF_INET, &v6->sin6_addr.s6_addr[12], text, sizeof text);
        return std::string(text) + ":" + std::to_string(ntohs(v6->sin6_port));
    }
    if (address.ss_family == AF_INET) {
        auto* a = reinterpret_cast<sockaddr_in*>(&address);
        ::inet_ntop(AF_INET, &a->sin_addr, text, sizeof text);
        return std::string(text) + ":" + std::to_string(ntohs(a->sin_port));
    }
    auto* a = reinterpret_cast<sockaddr_in6*>(&address);
    ::inet_ntop(AF_INET6, &a->sin6_addr, text, sizeof text);
    return "[" + std::string(text) + "]:" + std::to_string(ntohs(a->sin6_port));
}

// Keepalive probes, and the same limit for data the peer never acknowledges,
// so that a vanished peer is noticed whether or not an answer is on its way.
void Prepare(int fd, int keepAliveSeconds)
{
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (keepAliveSeconds <= 0) return;
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    int idle = keepAliveSeconds, interval = kProbeIntervalSeconds, probes = kProbes;
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
    unsigned timeoutMs = static_cast<unsigned>((idle + interval * probes) * 1000);
    ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &timeoutMs, sizeof timeoutMs);
}

// The system's words for why a port cannot be listened on.
std::string SystemText(QAbstractSocket::SocketError error, const std::string& otherwise)
{
    switch (error) {
    case QAbstractSocket::AddressInUseError: return std::strerror(EADDRINUSE);
    case QAbstractSocket::SocketAccessError: return std::strerror(EACCES);
    case QAbstractSocket::SocketAddressNotAvailableError: return std::strerror(EADDRNOTAVAIL);
    default: return otherwise;
    }
}

// The peer of a waiting connection has closed it, or it broke.
bool Gone(int fd)
{
    pollfd p{fd, POLLRDHUP, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL));
}

}  // namespace

QtTcpListener::QtTcpListener()
{
    server_.onAccepted = [this](qintptr descriptor) { Accepted(descriptor); };
    prune_.setInterval(1000);
    QObject::connect(&prune_, &QTimer::timeout, [this] { DropGone(); });
}

QtTcpListener::~QtTcpListener()
{
    for (WaitingClient& w : waiting_) ::close(w.fd);
}

bool QtTcpListener::listen(const std::string& bindAddress, uint32_t port)
{
    const std::string where = (bindAddress.empty() ? std::string("0.0.0.0") : bindAddress) + ":" + std::to_string(port);
    if (port > 65535) {
        listenError_ = where + ": no such port";
        return false;
    }
    QHostAddress address(QHostAddress::Any);
    if (!bindAddress.empty() && !address.setAddress(QString::fromStdString(bindAddress))) {
        listenError_ = where + ": not an IP address";
        return false;
    }
    if (!server_.listen(address, static_cast<quint16>(port))) {
        listenError_ = where + ": " + SystemText(server_.serverError(), server_.errorString().toStdString());
        return false;
    }
    listenError_.clear();
    return true;
}

void QtTcpListener::Accepted(qintptr descriptor)
{
    const int fd = static_cast<int>(descriptor);
    Prepare(fd, keepAliveSeconds_);
    waiting_.push_back({fd, PeerOf(fd)});
    if (waiting_.size() >= kMaxWaiting) DropGone();
    if (waiting_.size() >= kMaxWaiting) server_.pauseAccepting();
    if (!prune_.isActive()) prune_.start();
    if (events_) events_->onConnectionPending();
}

void QtTcpListener::DropGone()
{
    for (auto it = waiting_.begin(); it != waiting_.end();) {
        if (Gone(it->fd)) {
            ::close(it->fd);
            it = waiting_.erase(it);
        } else {
            ++it;
        }
    }
    if (waiting_.size() < kMaxWaiting) server_.resumeAccepting();
    if (waiting_.empty()) prune_.stop();
}

void QtTcpListener::close()
{
    server_.close();
    // Clients that were waiting for their turn are let go with the listener.
    for (WaitingClient& w : waiting_) ::close(w.fd);
    waiting_.clear();
    prune_.stop();
}

std::unique_ptr<IClientLink> QtTcpListener::takePending()
{
    // Not pruned here: a client that sends its requests and shuts its sending
    // side at once is still owed its answers. Only one that has waited (and
    // closed meanwhile) is dropped, by the timer.
    if (waiting_.empty()) return nullptr;
    WaitingClient next = waiting_.front();
    waiting_.pop_front();
    server_.resumeAccepting();
    return std::make_unique<QtClientLink>(next.fd, next.peer, events_);
}

}  // namespace nalvexa
