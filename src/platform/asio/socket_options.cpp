// SPDX-License-Identifier: MIT
#include "socket_options.h"

#ifdef _WIN32
#include <mstcpip.h>
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#endif

namespace nalvexa {

namespace {

constexpr int kProbeIntervalSeconds = 2;
constexpr int kProbes = 3;

}  // namespace

void PrepareClientSocket(asio::ip::tcp::socket& socket, int keepAliveSeconds)
{
    std::error_code ignored;
    socket.non_blocking(true, ignored);
    socket.set_option(asio::ip::tcp::no_delay(true), ignored);
    if (keepAliveSeconds <= 0) return;
    socket.set_option(asio::socket_base::keep_alive(true), ignored);
    const auto fd = socket.native_handle();
    const int idle = keepAliveSeconds, interval = kProbeIntervalSeconds, probes = kProbes;
    (void)probes;  // Windows sends its own number of probes
#ifdef _WIN32
    // Times in milliseconds.
    tcp_keepalive values{1, static_cast<ULONG>(idle * 1000), static_cast<ULONG>(interval * 1000)};
    DWORD returned = 0;
    ::WSAIoctl(fd, SIO_KEEPALIVE_VALS, &values, sizeof values, nullptr, 0, &returned, nullptr, nullptr);
#ifdef TCP_MAXRT
    const DWORD maxRetransmitSeconds = static_cast<DWORD>(idle + interval * probes);
    ::setsockopt(fd, IPPROTO_TCP, TCP_MAXRT, reinterpret_cast<const char*>(&maxRetransmitSeconds),
                 sizeof maxRetransmitSeconds);
#endif
#else
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
    const unsigned timeoutMs = static_cast<unsigned>((idle + interval * probes) * 1000);
    ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &timeoutMs, sizeof timeoutMs);
#endif
}

std::string PeerText(const asio::ip::tcp::socket& socket)
{
    std::error_code error;
    const asio::ip::tcp::endpoint peer = socket.remote_endpoint(error);
    if (error) return "?";
    asio::ip::address address = peer.address();
    if (address.is_v6() && address.to_v6().is_v4_mapped())
        address = asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6());
    const std::string port = std::to_string(peer.port());
    return address.is_v6() ? "[" + address.to_string() + "]:" + port : address.to_string() + ":" + port;
}

bool PeerGone(asio::ip::tcp::socket& socket)
{
#ifdef _WIN32
    // A peek: the end of its input, or an error, means the peer has gone.
    char byte;
    const int n = ::recv(socket.native_handle(), &byte, 1, MSG_PEEK);
    return n == 0 || (n < 0 && ::WSAGetLastError() != WSAEWOULDBLOCK);
#else
    pollfd p{socket.native_handle(), POLLRDHUP, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL));
#endif
}

std::string FailureText(const std::error_code& error)
{
    if (error == asio::error::timed_out) return "keepalive time-out";
    if (error == asio::error::connection_reset) return "connection reset by peer";
    if (error == asio::error::broken_pipe || error == asio::error::eof) return "connection closed by peer";
    return error.message();
}

}  // namespace nalvexa
