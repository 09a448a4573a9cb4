// SPDX-License-Identifier: MIT
#include "server/server_sockets.h"

#include "trace/trace.h"

namespace nalvexa {

bool ListeningSocket::Open(const std::string& bindAddress, uint32_t port)
{
    if (!tcp_.listen(bindAddress, port)) return false;  // no message: the window shows it closed
    isOpen = true;
    return true;
}

void ListeningSocket::Close()
{
    isOpen = false;
    tcp_.close();
}

void ListeningSocket::OnAccept()
{
    if (connection->isConnected) return;  // the newcomer waits, neither accepted nor refused
    for (;;) {
        std::unique_ptr<IClientLink> link = tcp_.takePending();
        if (!link) return;
        if (!link->isConnected()) continue;  // gave up while waiting: nobody to answer
        connection->isConnected = true;
        if (events) events->Refresh();
        connection->Attach(std::move(link));
        return;
    }
}

ServerSockets::ServerSockets(ITcpListener& tcp, AdapterHolder& holder, ITaskPoster& poster,
                             IUserNotifier& notifier, ITimerHost& timers)
    : tcp_(tcp), notifier_(notifier), poster_(poster), listener_(tcp), connection_(holder, poster, notifier, timers)
{
    listener_.connection = &connection_;
    tcp.setEvents(this);
    tcp.setAdmission([this](const std::string& peer) { return allowed_.Admits(peer); });
    connection_.SetClosedHook([this] { listener_.OnAccept(); });
}

void ServerSockets::SetEvents(IServerEvents* events)
{
    events_ = events;
    listener_.events = events;
    connection_.events = events;
}

void ServerSockets::Open(uint32_t port)
{
    listener_.Open(bindAddress_, port);
    if (events_) events_->Refresh();
}

void ServerSockets::CloseListening()
{
    listener_.Close();
    if (events_) events_->Refresh();
}

void ServerSockets::CloseClient()
{
    connection_.Close();
    if (events_) events_->Refresh();
    // Later, so that closing the listener right after this drops the waiting clients too.
    poster_.post([this] {
        if (listener_.isOpen) listener_.OnAccept();
    });
}

void ServerSockets::onConnectionPending()
{
    listener_.OnAccept();
}

void ServerSockets::onClientReadable()
{
    connection_.OnReceive();
}

void ServerSockets::onClientRefused(const std::string& peer)
{
    ReportState(notifier_, "client refused " + peer + ": not in AllowedClients");
}

void ServerSockets::onClientClosed()
{
    connection_.OnClose();
    if (events_) events_->Refresh();
    listener_.OnAccept();  // a client that waited meanwhile is taken up now
}

}  // namespace nalvexa
