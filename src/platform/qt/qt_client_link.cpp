// SPDX-License-Identifier: MIT
#include "qt_client_link.h"

#include <QObject>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace nalvexa {

namespace {

std::string FailureText(int error)
{
    switch (error) {
    case ETIMEDOUT: return "keepalive time-out";
    case ECONNRESET: return "connection reset by peer";
    case EPIPE: return "connection closed by peer";
    default: return std::strerror(error);
    }
}

// Sends what a closed connection still owed its peer, then closes the
// socket: at most a few seconds, whatever the peer does.
class Lingering : public QObject {
public:
    Lingering(int fd, std::string bytes) : fd_(fd), bytes_(std::move(bytes)), writable_(fd, QSocketNotifier::Write)
    {
        connect(&writable_, &QSocketNotifier::activated, this, [this] { Flush(); });
        QTimer::singleShot(5000, this, [this] { Done(); });
    }

private:
    void Flush()
    {
        while (!bytes_.empty()) {
            ssize_t n = ::send(fd_, bytes_.data(), bytes_.size(), MSG_NOSIGNAL);
            if (n < 0 && errno == EAGAIN) return;
            if (n <= 0) break;
            bytes_.erase(0, static_cast<size_t>(n));
        }
        Done();
    }
    void Done()
    {
        writable_.setEnabled(false);
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
        deleteLater();
    }

    int fd_;
    std::string bytes_;
    QSocketNotifier writable_;
};

}  // namespace

QtClientLink::QtClientLink(int fd, std::string peer, ITcpEvents* events)
    : fd_(fd), peer_(std::move(peer)), events_(events)
{
    readable_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    writable_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Write);
    writable_->setEnabled(false);
    QObject::connect(readable_.get(), &QSocketNotifier::activated, [this] { OnReadable(); });
    QObject::connect(writable_.get(), &QSocketNotifier::activated, [this] { OnWritable(); });
}

QtClientLink::~QtClientLink()
{
    *alive_ = false;
    close();
}

size_t QtClientLink::bytesAvailable() const
{
    int n = 0;
    if (fd_ < 0 || ::ioctl(fd_, FIONREAD, &n) != 0) return 0;
    return static_cast<size_t>(n);
}

size_t QtClientLink::read(uint8_t* into, size_t max)
{
    if (fd_ < 0 || ended_ || max == 0) return 0;
    for (;;) {
        ssize_t n = ::recv(fd_, into, max, 0);
        if (n > 0) {
            // All there was: tell the core when more comes, or when the
            // connection fails while the core is busy with what it has.
            if (static_cast<size_t>(n) < max || bytesAvailable() == 0) readable_->setEnabled(true);
            return static_cast<size_t>(n);
        }
        if (n == 0) {
            ended_ = true;  // half-closed or gone: the core answers what it has, then closes
            return 0;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            readable_->setEnabled(true);  // all read: tell the core when more comes
            return 0;
        }
        ended_ = true;
        Fail(errno);
        return 0;
    }
}

void QtClientLink::OnReadable()
{
    // Off until the core has read all there is (or the peer has gone).
    readable_->setEnabled(false);
    if (bytesAvailable() == 0) {
        // Nothing to read: the peer has gone or the connection failed (a
        // keepalive time-out), which the core must hear even while it waits
        // for a drive and reads nothing.
        uint8_t byte;
        ssize_t n = ::recv(fd_, &byte, 1, MSG_PEEK);
        if (n == 0) {
            ended_ = true;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            readable_->setEnabled(true);  // woken for nothing: keep watching
        } else if (n < 0) {
            ended_ = true;
            Fail(errno);
        }
    }
    if (events_) events_->onClientReadable();
}

bool QtClientLink::send(const uint8_t* bytes, size_t count)
{
    if (fd_ < 0 || !failure_.empty()) {
        lastError_ = lastError_ ? lastError_ : ENOTCONN;
        return false;
    }
    unsent_.append(reinterpret_cast<const char*>(bytes), count);
    Flush();
    return failure_.empty();
}

void QtClientLink::Flush()
{
    while (!unsent_.empty()) {
        ssize_t n = ::send(fd_, unsent_.data(), unsent_.size(), MSG_NOSIGNAL);
        if (n > 0) {
            unsent_.erase(0, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        Fail(n < 0 ? errno : EPIPE);
        unsent_.clear();
        break;
    }
    writable_->setEnabled(!unsent_.empty());
}

void QtClientLink::OnWritable()
{
    const size_t before = unsent_.size();
    Flush();
    if (unsent_.size() != before && events_) events_->onClientReadable();
}

void QtClientLink::Fail(int error)
{
    if (!failure_.empty()) return;
    lastError_ = error;
    failure_ = FailureText(error);
    Report();
}

void QtClientLink::Report()
{
    // Not from inside the core's own read or send.
    std::weak_ptr<bool> alive = alive_;
    ITcpEvents* events = events_;
    QTimer::singleShot(0, [alive, events] {
        if (auto a = alive.lock(); a && *a && events) events->onClientClosed();
    });
}

void QtClientLink::close()
{
    if (fd_ < 0) return;
    readable_.reset();
    writable_.reset();
    if (unsent_.empty() || !failure_.empty()) {
        ::close(fd_);
    } else {
        ::shutdown(fd_, SHUT_RD);
        new Lingering(fd_, std::move(unsent_));
    }
    fd_ = -1;
    unsent_.clear();
}

void QtClientLink::drain()
{
    // The program ends: what is still unsent gets a second at most.
    for (int i = 0; i < 100 && fd_ >= 0 && !unsent_.empty() && failure_.empty(); ++i) {
        Flush();
        if (unsent_.empty()) break;
        pollfd p{fd_, POLLOUT, 0};
        ::poll(&p, 1, 10);
    }
}

}  // namespace nalvexa
