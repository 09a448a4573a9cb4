// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform.h"
#include "server/adapter_holder.h"
#include "server/adapter_interfaces.h"
#include "server/driver_request.h"
#include "server/server_events.h"

namespace nalvexa {

// The client connection: it parses requests from the client's byte stream
// into its one DriverRequest and sends the adapter's answers.
//
// The next request is read only after the previous one was answered, so the
// record is never overwritten while an adapter still works on it; later
// requests wait unread in the platform's buffer, and so do they while more
// than kMaxUnsent answer bytes wait for a client that does not read them.
// An answer whose client has gone in the meantime is dropped, never sent to
// the next client. A request begun and not finished within the request
// time-out ends the connection; so does the end of the client's input, once
// what it asked before has been answered.
class CDriverConnectionSocket : public IRequestReply {
public:
    static constexpr size_t kMaxUnsent = 256 * 1024;

    CDriverConnectionSocket(AdapterHolder& holder, ITaskPoster& poster, IUserNotifier& notifier, ITimerHost& timers);

    // Seconds a request may take to arrive once begun; 0: no limit.
    void SetRequestTimeout(int seconds) { requestTimeoutSeconds_ = seconds; }
    IServerEvents* events = nullptr;
    bool isConnected = false;
    DriverRequest request;

    // A pending client was taken up (isConnected is already true).
    void Attach(std::unique_ptr<IClientLink> link);
    void OnReceive();
    // The peer went away: drop any request cut short by it.
    void OnClose();
    // Server-side close of the client connection.
    void Close(const std::string& why = "closed by the server");
    void Drain()
    {
        if (link_) link_->drain();
    }
    // Called after the connection closed itself on a request it cannot parse.
    void SetClosedHook(std::function<void()> hook) { closedHook_ = std::move(hook); }

    void SendReply() override;
    void SendBlock(const uint8_t* bytes, uint32_t count) override;

private:
    enum class Stage { Header, Body, Payload, Discard };

    void Pump();
    bool Step();  // false when it needs more bytes or must stop
    void Dispatch();
    void ResetParse();
    void ProtocolViolation(const std::string& why);
    void RequestBegun();
    bool Finished();  // the client's input has ended and all it asked is answered
    bool Send(const uint8_t* bytes, size_t count, bool showFailure);
    void SendWord(uint32_t value, bool showFailure);

    AdapterHolder& holder_;
    ITaskPoster& poster_;
    IUserNotifier& notifier_;
    std::unique_ptr<ITimer> requestTimer_;
    int requestTimeoutSeconds_ = 30;
    std::unique_ptr<IClientLink> link_;
    std::function<void()> closedHook_;

    Stage stage_ = Stage::Header;
    std::array<uint8_t, 28> head_{};
    size_t have_ = 0;           // bytes of the current stage received
    size_t want_ = 0;           // bytes the current stage needs
    bool busy_ = false;         // a request is with the adapter
    bool pumping_ = false;
    bool pumpPosted_ = false;
    bool closingDriver_ = false;
    uint64_t client_ = 0;       // counts clients, so late answers can be recognised
    uint64_t requestClient_ = 0;
    uint64_t blockClient_ = 0;  // the client whose control request set up streaming
};

}  // namespace nalvexa
