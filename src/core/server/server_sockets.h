// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

#include "platform.h"
#include "server/allowed_clients.h"
#include "server/driver_connection.h"
#include "server/server_events.h"

namespace nalvexa {

class ListeningSocket {
public:
    explicit ListeningSocket(ITcpListener& tcp) : tcp_(tcp) {}

    IServerEvents* events = nullptr;
    bool isOpen = false;
    CDriverConnectionSocket* connection = nullptr;

    bool Open(const std::string& bindAddress, uint32_t port);
    // Why the last open failed: the address, the port and the system's reason.
    std::string OpenError() const { return tcp_.listenError(); }
    void Close();
    // A connection is pending: take it up unless a client is connected.
    void OnAccept();
    uint32_t Port() const { return tcp_.listeningPort(); }

private:
    ITcpListener& tcp_;
};

// The listening socket and the one client connection; all of it on the loop's thread.
class ServerSockets : private ITcpEvents {
public:
    ServerSockets(ITcpListener& tcp, AdapterHolder& holder, ITaskPoster& poster, IUserNotifier& notifier,
                  ITimerHost& timers);
    ~ServerSockets() override { tcp_.setAdmission({}); }

    void SetEvents(IServerEvents* events);
    // Empty: every local address.
    void SetBindAddress(const std::string& address) { bindAddress_ = address; }
    // Who may connect; everyone until this is set.
    void SetAllowedClients(AllowedClients allowed) { allowed_ = std::move(allowed); }
    // How clients that vanish or stall are noticed: keepalive probes after
    // this many idle seconds, and the time a begun request may take (0: off).
    void SetClientLimits(int keepAliveSeconds, int requestTimeoutSeconds)
    {
        tcp_.setKeepAlive(keepAliveSeconds);
        connection_.SetRequestTimeout(requestTimeoutSeconds);
    }
    void Open(uint32_t port);
    void CloseListening();
    void CloseClient();

    const ListeningSocket& listener() const { return listener_; }
    const CDriverConnectionSocket& connection() const { return connection_; }
    CDriverConnectionSocket& connection() { return connection_; }

private:
    void onConnectionPending() override;
    void onClientReadable() override;
    void onClientClosed() override;
    void onClientRefused(const std::string& peer) override;

    ITcpListener& tcp_;
    IUserNotifier& notifier_;
    AllowedClients allowed_;
    ITaskPoster& poster_;
    IServerEvents* events_ = nullptr;
    ListeningSocket listener_;
    CDriverConnectionSocket connection_;
    std::string bindAddress_;
};

}  // namespace nalvexa
