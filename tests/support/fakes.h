// SPDX-License-Identifier: MIT
// Fakes of the platform's services, recording what the core does with them.
#pragma once

#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform.h"
#include "server/adapter_interfaces.h"
#include "server/driver_request.h"

namespace nalvexa::test {

using Bytes = std::vector<uint8_t>;

class FakeNotifier : public IUserNotifier {
public:
    void message(const std::string& text, Caption caption = Caption::Title) override
    {
        messages.push_back(text);
        captions.push_back(caption);
    }
    void state(const std::string& line) override { states.push_back(line); }
    std::vector<std::string> messages;
    std::vector<Caption> captions;  // of each message
    std::vector<std::string> states;
};

class FakeSerialDevice : public ISerialDevice {
public:
    SerialOpenResult open(const std::string& name, const SerialLineSettings& s) override
    {
        openedName = name;
        openedWith = s;
        ++opens;
        open_ = openResult != SerialOpenResult::OpenFailed;
        return openResult;
    }
    bool close() override
    {
        open_ = false;
        ++closes;
        return true;
    }
    bool isOpen() const override { return open_; }
    bool write(const uint8_t* bytes, int count) override
    {
        if (!open_ || failWrites) return false;
        writes.emplace_back(bytes, bytes + count);
        if (onWrite) onWrite(writes.back());
        return true;
    }
    int unsentBytes() const override { return unsent; }
    void setBytesArrived(BytesArrived handler) override { arrived_ = std::move(handler); }
    void setDeviceLost(DeviceLost handler) override { lost_ = std::move(handler); }
    std::string openError() const override { return openedName + ": " + reason; }
    // The device goes away, as the platform reports it.
    void Lose(const std::string& reason = "Input/output error")
    {
        open_ = false;
        if (lost_) lost_(reason);
    }
    void discardInput() override
    {
        ++discards;
        pending.clear();
    }

    // The drive's bytes reach the port in one piece.
    void Arrive(const Bytes& bytes) { arrived_(bytes.data(), static_cast<int>(bytes.size())); }
    // Bytes that arrived in the device but are not yet read.
    void Pend(const Bytes& bytes) { pending.insert(pending.end(), bytes.begin(), bytes.end()); }
    void DeliverPending()
    {
        Bytes now;
        now.swap(pending);
        if (!now.empty()) Arrive(now);
    }
    Bytes pending;
    int discards = 0;

    std::function<void(const Bytes&)> onWrite;  // the drive's reaction, if any
    SerialOpenResult openResult = SerialOpenResult::Ok;
    std::string reason = "No such file or directory";  // of a failed open
    bool failWrites = false;
    int unsent = 0;  // what each write leaves still to go out on the line
    std::string openedName;
    SerialLineSettings openedWith;
    int opens = 0;
    int closes = 0;
    std::vector<Bytes> writes;

private:
    bool open_ = false;
    BytesArrived arrived_;
    DeviceLost lost_;
};

// The client side of a connection, as the core sees it.
class FakeClientLink : public IClientLink {
public:
    struct State {
        Bytes incoming;  // sent by the client, not yet read by the server
        Bytes sent;      // what the server sent
        bool connected = true;
        bool closedByServer = false;
        bool failSends = false;
        bool inputEnded = false;  // the client shut down its sending side
        size_t unsent = 0;        // answer bytes the client has not taken
        std::string failure;
    };
    explicit FakeClientLink(std::shared_ptr<State> state) : s_(std::move(state)) {}
    size_t read(uint8_t* into, size_t max) override
    {
        size_t n = std::min(max, s_->incoming.size());
        if (n) std::memcpy(into, s_->incoming.data(), n);
        s_->incoming.erase(s_->incoming.begin(), s_->incoming.begin() + static_cast<long>(n));
        return n;
    }
    bool inputEnded() const override { return s_->inputEnded && s_->incoming.empty(); }
    bool send(const uint8_t* bytes, size_t count) override
    {
        if (s_->failSends || !s_->connected) return false;
        s_->sent.insert(s_->sent.end(), bytes, bytes + count);
        return true;
    }
    size_t unsentBytes() const override { return s_->unsent; }
    int lastError() const override { return 10054; }
    bool isConnected() const override { return s_->connected; }
    std::string peer() const override { return "127.0.0.1:40000"; }
    std::string failure() const override { return s_->failure; }
    void close() override { s_->closedByServer = true; }
    void drain() override {}

private:
    std::shared_ptr<State> s_;
};

class FakeTcpListener : public ITcpListener {
public:
    void setEvents(ITcpEvents* e) override { events = e; }
    void setKeepAlive(int seconds) override { keepAlive = seconds; }
    void setAdmission(std::function<bool(const std::string&)> a) override { admits = std::move(a); }
    std::string listenError() const override { return "127.0.0.1:" + std::to_string(refusedPort) + ": Address already in use"; }
    bool listen(const std::string& address, uint32_t port) override
    {
        boundAddress = address;
        if (port == refusedPort) return false;
        listening = true;
        this->port = port == 0 ? 40123 : port;  // 0: the system chooses
        return true;
    }
    uint32_t listeningPort() const override { return port; }
    void close() override
    {
        listening = false;
        pending.clear();
    }
    std::unique_ptr<IClientLink> takePending() override
    {
        if (pending.empty()) return nullptr;
        auto state = pending.front();
        pending.pop_front();
        return std::make_unique<FakeClientLink>(state);
    }

    // A client connects and its connection is reported.
    std::shared_ptr<FakeClientLink::State> Connect()
    {
        auto state = std::make_shared<FakeClientLink::State>();
        pending.push_back(state);
        if (events) events->onConnectionPending();
        return state;
    }

    ITcpEvents* events = nullptr;
    std::deque<std::shared_ptr<FakeClientLink::State>> pending;
    bool listening = false;
    uint32_t port = 0;
    uint32_t refusedPort = 0xFFFFFFFF;
    int keepAlive = -1;
    std::function<bool(const std::string&)> admits;
    std::string boundAddress;
};

// Stands for the client connection in adapter tests.
class RecordingReply : public IRequestReply {
public:
    struct Reply {
        int32_t status;
        Bytes data;  // the first bytes of the request's data at reply time
    };
    explicit RecordingReply(const DriverRequest* request = nullptr) : request_(request) {}
    void Watch(const DriverRequest* request) { request_ = request; }
    void SendReply() override
    {
        Reply r{request_ ? request_->status : 0, {}};
        if (request_) r.data.assign(request_->data.begin(), request_->data.begin() + 8);
        replies.push_back(r);
    }
    void SendBlock(const uint8_t* bytes, uint32_t count) override { blocks.emplace_back(bytes, bytes + count); }

    std::vector<Reply> replies;
    std::vector<Bytes> blocks;

private:
    const DriverRequest* request_;
};

}  // namespace nalvexa::test
