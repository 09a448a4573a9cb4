// SPDX-License-Identifier: MIT
// What the listener does to every client socket, and how it names peers and failures.
#pragma once

#include <asio/ip/tcp.hpp>
#include <string>
#include <system_error>

namespace nalvexa {

// Non-blocking, no send delay, and keepalive probes after `keepAliveSeconds`
// of silence (then every 2 s, dropped after 3 unanswered), with the same
// limit for data the peer never acknowledges; 0: no probes.
void PrepareClientSocket(asio::ip::tcp::socket& socket, int keepAliveSeconds);

// "address:port", "[v6 address]:port"; an IPv4 peer on a dual-stack socket as IPv4.
std::string PeerText(const asio::ip::tcp::socket& socket);

// The peer of a waiting connection has closed it (or its sending side), or it broke.
bool PeerGone(asio::ip::tcp::socket& socket);

// Why a connection failed, in the words the service's log uses.
std::string FailureText(const std::error_code& error);

}  // namespace nalvexa
