// SPDX-License-Identifier: MIT
// Any byte stream from clients that come and go, against the connection's
// parser and its one-request-at-a-time gate.
#include <cstdlib>

#include "fakes.h"
#include "fuzz_input.h"
#include "manual_clock.h"
#include "server/server_sockets.h"

using namespace nalvexa;
using namespace nalvexa::test;

namespace {

// Answers some requests at once and keeps others for later, as adapters do.
class HoldingAdapter : public IDriverAdapter {
public:
    std::string GetTitle() const override { return ""; }
    void SetTitle(const std::string&) override {}
    void Execute(DriverRequest* request) override
    {
        if (held) std::abort();  // a second request while one is with the adapter
        if (request->length > kRequestDataSize) std::abort();
        if (answerAtOnce) {
            request->status = static_cast<int32_t>(request->address % 90) - 2;
            request->replySink->SendReply();
        } else {
            held = request;
        }
    }
    AdapterOffer Offer() const override { return {}; }
    void SaveSettings() override {}
    void AnswerHeld()
    {
        if (!held) return;
        DriverRequest* r = held;
        held = nullptr;
        r->replySink->SendReply();
    }
    DriverRequest* held = nullptr;
    bool answerAtOnce = true;
};

class NoEvents : public IServerEvents {
public:
    void Refresh() override {}
    void CloseWithoutConfirmation() override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::Input in(data, size);
    FakeTcpListener tcp;
    AdapterHolder holder;
    auto owned = std::make_unique<HoldingAdapter>();
    HoldingAdapter* adapter = owned.get();
    holder.set(std::move(owned));
    ManualPoster poster;
    FakeNotifier notifier;
    NoEvents events;
    ManualClock clock;
    ServerSockets server(tcp, holder, poster, notifier, clock);
    server.SetEvents(&events);
    server.SetClientLimits(10, 1);
    server.Open(1);
    std::vector<std::shared_ptr<FakeClientLink::State>> clients = {tcp.Connect()};

    while (!in.empty()) {
        uint8_t op = in.Byte();
        auto& client = clients.back();
        switch (op % 11) {
        case 0:
        case 1:
        case 2: {  // the client sends a piece
            std::vector<uint8_t> piece = in.Piece(op % 3 == 2 ? 40000 : (in.Byte() % 64));
            client->incoming.insert(client->incoming.end(), piece.begin(), piece.end());
            static_cast<ITcpEvents*>(tcp.events)->onClientReadable();
            break;
        }
        case 3: client->connected = false; tcp.events->onClientClosed(); break;
        case 4: clients.push_back(tcp.Connect()); break;
        case 5: adapter->AnswerHeld(); break;
        case 6: adapter->answerAtOnce = !adapter->answerAtOnce; break;
        case 7: client->failSends = !client->failSends; break;
        case 8: clock.Advance(in.Byte() * 10); break;  // requests that stall run out of time
        case 9: client->inputEnded = true; static_cast<ITcpEvents*>(tcp.events)->onClientReadable(); break;
        case 10:  // answers the client does not read pile up, or drain
            client->unsent = client->unsent ? 0 : CDriverConnectionSocket::kMaxUnsent + 1;
            static_cast<ITcpEvents*>(tcp.events)->onClientReadable();
            break;
        }
        poster.RunAll();
    }
    adapter->AnswerHeld();
    poster.RunAll();
    return 0;
}
