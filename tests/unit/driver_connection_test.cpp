// SPDX-License-Identifier: MIT
// The client connection: parsing, the one-request-at-a-time gate, answers,
// bad input, and clients that come and go.
#include <gtest/gtest.h>

#include "fakes.h"
#include "manual_clock.h"
#include "trace_recorder.h"
#include "server/server_sockets.h"
#include "server/wire_codec.h"

namespace nalvexa::test {
namespace {

class FakeAdapter : public IDriverAdapter {
public:
    std::string GetTitle() const override { return "t"; }
    void SetTitle(const std::string&) override {}
    void Execute(DriverRequest* request) override
    {
        executed.push_back(*request);
        last = request;
        if (answerAtOnce) {
            request->status = statusToSet;
            if (request->kind == Read) std::copy(dataToSet.begin(), dataToSet.end(), request->data.begin());
            request->replySink->SendReply();
        }
    }
    AdapterOffer Offer() const override { return {}; }
    void SaveSettings() override {}
    void OnClientGone() override { ++clientsGone; }

    void Answer(int32_t status)
    {
        last->status = status;
        last->replySink->SendReply();
    }

    bool answerAtOnce = true;
    int32_t statusToSet = 0;
    Bytes dataToSet;  // what the drive answered a read with
    int clientsGone = 0;
    DriverRequest* last = nullptr;
    std::vector<DriverRequest> executed;
};

class Events : public IServerEvents {
public:
    void Refresh() override { ++refreshes; }
    void CloseWithoutConfirmation() override { ++closeRequests; }
    int refreshes = 0;
    int closeRequests = 0;
};

void Word(Bytes& b, uint32_t v)
{
    uint8_t w[4];
    wire::PutBE32(w, v);
    b.insert(b.end(), w, w + 4);
}

Bytes ReadRequest(uint32_t address, uint32_t length, uint32_t i1, uint32_t i2, uint32_t i3)
{
    Bytes b;
    for (uint32_t v : {1u, 0xDEADBEEFu, address, length, i1, i2, i3}) Word(b, v);
    return b;
}

Bytes WriteRequest(uint32_t address, const Bytes& payload, uint32_t i1 = 0, uint32_t i2 = 0, uint32_t i3 = 0,
                   uint32_t length = 0xFFFFFFFF)
{
    Bytes b;
    if (length == 0xFFFFFFFF) length = static_cast<uint32_t>(payload.size());
    for (uint32_t v : {2u, 0u, address, length, i1, i2, i3}) Word(b, v);
    b.insert(b.end(), payload.begin(), payload.end());
    return b;
}

Bytes ControlRequest(uint32_t code, uint32_t p1, uint32_t p2)
{
    Bytes b;
    for (uint32_t v : {3u, 0u, code, p1, p2}) Word(b, v);
    return b;
}

Bytes Header(uint32_t type)
{
    Bytes b;
    Word(b, type);
    Word(b, 0);
    return b;
}

Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class Connection : public ::testing::Test {
protected:
    Connection() : server(tcp, holder, poster, notifier, clock)
    {
        auto owned = std::make_unique<FakeAdapter>();
        adapter = owned.get();
        holder.set(std::move(owned));
        server.SetEvents(&events);
        server.Open(12001);
    }

    // The client's bytes arrive and the connection is told.
    void Send(const std::shared_ptr<FakeClientLink::State>& client, const Bytes& bytes)
    {
        client->incoming.insert(client->incoming.end(), bytes.begin(), bytes.end());
        static_cast<ITcpEvents&>(Events_()).onClientReadable();
        poster.RunAll();
    }
    void PeerCloses(const std::shared_ptr<FakeClientLink::State>& client)
    {
        client->connected = false;
        static_cast<ITcpEvents&>(Events_()).onClientClosed();
        poster.RunAll();
    }
    ITcpEvents& Events_() { return *tcp.events; }

    FakeTcpListener tcp;
    AdapterHolder holder;
    ManualPoster poster;
    FakeNotifier notifier;
    ManualClock clock;
    Events events;
    ServerSockets server;
    FakeAdapter* adapter;
};

Bytes Status(uint32_t s)
{
    Bytes b;
    Word(b, s);
    return b;
}

TEST_F(Connection, ParsesEveryRequestTypeFromBigEndianWords)
{
    auto client = tcp.Connect();
    Send(client, ReadRequest(0x01020304, 4, 0x11, 0x22, 0x33));
    ASSERT_EQ(adapter->executed.size(), 1u);
    const DriverRequest& r = adapter->executed[0];
    EXPECT_EQ(r.kind, Read);
    EXPECT_EQ(r.address, 0x01020304u);
    EXPECT_EQ(r.length, 4u);
    EXPECT_EQ(r.slIndex1, 0x11u);
    EXPECT_EQ(r.slIndex2, 0x22u);
    EXPECT_EQ(r.slIndex3, 0x33u);

    Send(client, WriteRequest(7, {0xAA, 0xBB, 0xCC}, 1, 2, 3));
    const DriverRequest& w = adapter->executed[1];
    EXPECT_EQ(w.kind, Write);
    EXPECT_EQ(w.length, 3u);
    EXPECT_EQ(w.data[0], 0xAA);
    EXPECT_EQ(w.data[2], 0xCC);

    Send(client, ControlRequest(2, 5, 6));
    const DriverRequest& c = adapter->executed[2];
    EXPECT_EQ(c.kind, Control);
    EXPECT_EQ(c.slIndex1, 2u);
    EXPECT_EQ(c.slIndex2, 5u);
    EXPECT_EQ(c.slIndex3, 6u);
    EXPECT_EQ(c.address, 0u);
    EXPECT_EQ(c.length, 0u);
    EXPECT_EQ(c.replySink, &server.connection());
}

TEST_F(Connection, AnswersCarryTheWireStatusAndReadData)
{
    auto client = tcp.Connect();
    adapter->statusToSet = 8;  // an SDO abort: wire 21
    Send(client, WriteRequest(1, {0x10, 0x20}));
    EXPECT_EQ(client->sent, Status(21));

    // A failed read still carries `length` bytes, all zero: neither the part
    // the drive may have sent nor what the write left.
    client->sent.clear();
    adapter->statusToSet = 5;
    adapter->dataToSet = {0x77};
    Send(client, ReadRequest(1, 3, 0, 0, 0));
    EXPECT_EQ(client->sent, (Status(5) + Bytes{0, 0, 0}));

    // A good read shorter than `length` is padded with zeros.
    client->sent.clear();
    adapter->statusToSet = 0;
    Send(client, WriteRequest(1, Bytes(1000, 0xEE)));
    Send(client, ReadRequest(1, 4, 0, 0, 0));
    EXPECT_EQ(client->sent, (Status(0) + Status(0) + Bytes{0x77, 0, 0, 0}));

    client->sent.clear();
    Send(client, ReadRequest(1, 0, 0, 0, 0));
    EXPECT_EQ(client->sent, Status(0));
}

TEST_F(Connection, WhatOneClientWroteNeverReachesTheNext)
{
    auto first = tcp.Connect();
    Send(first, WriteRequest(1, Bytes(1000, 0xEE)));
    PeerCloses(first);
    EXPECT_EQ(adapter->clientsGone, 1) << "the adapter drops what the client switched for itself";
    auto second = tcp.Connect();
    adapter->dataToSet = {0x01, 0x02};
    Send(second, ReadRequest(1, 1000, 0, 0, 0));
    Bytes want = Status(0) + Bytes{0x01, 0x02};
    want.resize(4 + 1000, 0);
    EXPECT_EQ(second->sent, want);
    server.CloseClient();
    EXPECT_EQ(adapter->clientsGone, 2);
}

TEST_F(Connection, CloseDriverIsAnsweredWithOneZeroByte)
{
    auto client = tcp.Connect();
    Send(client, Header(4));
    EXPECT_EQ(client->sent, Bytes{0x00});
    EXPECT_EQ(events.closeRequests, 1);
    EXPECT_TRUE(adapter->executed.empty());
}

TEST_F(Connection, BytesArrivingOneAtATimeFormOneRequest)
{
    auto client = tcp.Connect();
    Bytes request = WriteRequest(9, {1, 2, 3, 4, 5});
    for (size_t i = 0; i + 1 < request.size(); ++i) Send(client, {request[i]});
    EXPECT_TRUE(adapter->executed.empty());
    Send(client, {request.back()});
    ASSERT_EQ(adapter->executed.size(), 1u);
    EXPECT_EQ(adapter->executed[0].data[4], 5);
}

TEST_F(Connection, NextRequestWaitsUntilThePreviousOneIsAnswered)
{
    adapter->answerAtOnce = false;
    auto client = tcp.Connect();
    Send(client, ReadRequest(1, 2, 0, 0, 0) + ReadRequest(2, 2, 0, 0, 0) + WriteRequest(3, {9}));
    ASSERT_EQ(adapter->executed.size(), 1u);
    EXPECT_EQ(server.connection().request.address, 1u) << "the record is not overwritten";

    adapter->last->data[0] = 0x42;
    adapter->Answer(0);
    EXPECT_EQ(adapter->executed.size(), 1u) << "parsed only after the adapter has returned";
    poster.RunAll();
    ASSERT_EQ(adapter->executed.size(), 2u);
    EXPECT_EQ(adapter->executed[1].address, 2u);
    adapter->Answer(0);
    poster.RunAll();
    ASSERT_EQ(adapter->executed.size(), 3u);
    EXPECT_EQ(adapter->executed[2].kind, Write);
    adapter->Answer(0);
    EXPECT_EQ(client->sent, (Status(0) + Bytes{0x42, 0} + Status(0) + Bytes{0, 0} + Status(0)))
        << "the second read starts from zeros";
}

TEST_F(Connection, ARequestCutShortByADisconnectIsNeverExecuted)
{
    auto first = tcp.Connect();
    Bytes request = ReadRequest(1, 2, 0, 0, 0);
    Send(first, Bytes(request.begin(), request.begin() + 13));
    PeerCloses(first);
    EXPECT_TRUE(adapter->executed.empty());
    EXPECT_FALSE(server.connection().isConnected);

    auto second = tcp.Connect();
    Send(second, ReadRequest(5, 2, 0, 0, 0));
    ASSERT_EQ(adapter->executed.size(), 1u);
    EXPECT_EQ(adapter->executed[0].address, 5u) << "nothing of the first client's bytes is left";
}

TEST_F(Connection, AnAnswerForAClientThatHasGoneIsDropped)
{
    adapter->answerAtOnce = false;
    auto first = tcp.Connect();
    Send(first, ReadRequest(1, 2, 0, 0, 0));
    PeerCloses(first);
    auto second = tcp.Connect();
    Send(second, ReadRequest(2, 2, 0, 0, 0));
    EXPECT_EQ(adapter->executed.size(), 1u) << "the record is still the adapter's";

    adapter->Answer(0);
    poster.RunAll();
    EXPECT_TRUE(second->sent.empty()) << "the late answer is not the second client's";
    EXPECT_TRUE(first->sent.empty());
    ASSERT_EQ(adapter->executed.size(), 2u);
    adapter->Answer(0);
    EXPECT_EQ(second->sent.size(), 6u);
    EXPECT_TRUE(notifier.messages.empty());
}

TEST_F(Connection, AnUnknownRequestTypeClosesTheConnection)
{
    for (uint32_t type : {0u, 5u, 0xFFFFFFFFu}) {
        auto client = tcp.Connect();
        Send(client, ReadRequest(1, 2, 0, 0, 0));
        size_t before = adapter->executed.size();
        Send(client, Header(type) + ReadRequest(1, 2, 0, 0, 0));
        EXPECT_TRUE(client->closedByServer) << "type " << type;
        EXPECT_EQ(adapter->executed.size(), before) << "the previous request is not executed again";
        EXPECT_FALSE(server.connection().isConnected);
    }
}

TEST_F(Connection, AnOversizedWriteIsReadAndRefusedWithoutReachingTheAdapter)
{
    auto client = tcp.Connect();
    Bytes payload(35001, 0x5A);
    Send(client, WriteRequest(1, payload) + ReadRequest(2, 1, 0, 0, 0));
    ASSERT_EQ(adapter->executed.size(), 1u) << "only the read after it";
    EXPECT_EQ(adapter->executed[0].address, 2u);
    EXPECT_NE(adapter->executed[0].data[0], 0x5A);
    EXPECT_EQ(Bytes(client->sent.begin(), client->sent.begin() + 4), Status(1));
    EXPECT_FALSE(client->closedByServer);

    Bytes exact(35000, 0x11);
    Send(client, WriteRequest(1, exact));
    EXPECT_EQ(adapter->executed.back().length, 35000u) << "35000 bytes is still a write";
}

TEST_F(Connection, AReadAskingForMoreThanTheRecordHoldsClosesTheConnection)
{
    auto client = tcp.Connect();
    Send(client, ReadRequest(1, 35001, 0, 0, 0));
    EXPECT_TRUE(client->closedByServer);
    EXPECT_TRUE(adapter->executed.empty());
}

TEST_F(Connection, ASecondClientWaitsAndIsServedWhenTheFirstHasGone)
{
    auto first = tcp.Connect();
    auto second = tcp.Connect();
    Send(second, ReadRequest(2, 1, 0, 0, 0));
    EXPECT_TRUE(adapter->executed.empty()) << "the waiting client is not read";
    Send(first, ReadRequest(1, 1, 0, 0, 0));
    ASSERT_EQ(adapter->executed.size(), 1u);
    EXPECT_TRUE(second->sent.empty());

    PeerCloses(first);
    EXPECT_TRUE(server.connection().isConnected);
    ASSERT_EQ(adapter->executed.size(), 2u);
    EXPECT_EQ(adapter->executed[1].address, 2u);
    EXPECT_EQ(second->sent.size(), 5u);
}

TEST_F(Connection, AWaitingClientThatGaveUpIsSkipped)
{
    auto first = tcp.Connect();
    auto quitter = tcp.Connect();
    auto third = tcp.Connect();
    quitter->connected = false;
    Send(third, ReadRequest(3, 1, 0, 0, 0));
    PeerCloses(first);
    ASSERT_EQ(adapter->executed.size(), 1u);
    EXPECT_EQ(adapter->executed[0].address, 3u);
}

TEST_F(Connection, ServerSideCloseTakesUpTheNextClientAfterwards)
{
    auto first = tcp.Connect();
    auto second = tcp.Connect();
    server.CloseClient();
    EXPECT_TRUE(first->closedByServer);
    poster.RunAll();
    EXPECT_TRUE(server.connection().isConnected);

    // Closing client and listener together lets the waiting clients go as well.
    auto third = tcp.Connect();
    server.CloseClient();
    server.CloseListening();
    poster.RunAll();
    EXPECT_FALSE(server.connection().isConnected);
    EXPECT_FALSE(server.listener().isOpen);
}

TEST_F(Connection, OnlyAFailedReadAnswerIsShown)
{
    auto client = tcp.Connect();
    client->failSends = true;
    Send(client, WriteRequest(1, {1}));
    EXPECT_TRUE(notifier.messages.empty());
    Send(client, ReadRequest(1, 2, 0, 0, 0));
    ASSERT_EQ(notifier.messages.size(), 2u) << "the status word and the data";
    EXPECT_EQ(notifier.messages[0], "CDriverConnectionSocket Send Error: Code = 10054");
}

TEST_F(Connection, BlocksGoOnlyToTheClientThatAskedForThem)
{
    auto first = tcp.Connect();
    Send(first, ControlRequest(2, 0, 0));
    first->sent.clear();
    uint8_t data[3] = {1, 2, 3};
    server.connection().SendBlock(data, 3);
    EXPECT_EQ(first->sent, (Status(3) + Bytes{1, 2, 3}));

    PeerCloses(first);
    auto second = tcp.Connect();
    server.connection().SendBlock(data, 3);
    EXPECT_TRUE(second->sent.empty());
}

TEST_F(Connection, APortThatCannotBeBoundLeavesTheListenerClosedSilently)
{
    server.CloseListening();
    tcp.refusedPort = 80;
    server.Open(80);
    EXPECT_FALSE(server.listener().isOpen);
    EXPECT_TRUE(notifier.messages.empty());
    server.SetBindAddress("127.0.0.1");
    server.Open(12002);
    EXPECT_TRUE(server.listener().isOpen);
    EXPECT_EQ(tcp.boundAddress, "127.0.0.1");
}

TEST_F(Connection, ARequestThatStallsHalfWayEndsTheConnectionAfterTheRequestTimeout)
{
    server.SetClientLimits(10, 30);
    EXPECT_EQ(tcp.keepAlive, 10);
    auto staller = tcp.Connect();
    auto next = tcp.Connect();
    Send(next, ReadRequest(2, 1, 0, 0, 0));

    clock.Advance(60000);
    EXPECT_FALSE(staller->closedByServer) << "an idle client that sends nothing stays";
    const Bytes request = ReadRequest(1, 1, 0, 0, 0);
    Send(staller, Bytes(request.begin(), request.begin() + 10));
    clock.Advance(29999);
    EXPECT_FALSE(staller->closedByServer);
    Send(staller, Bytes(request.begin() + 10, request.begin() + 20));  // more bytes do not restart it
    clock.Advance(1);
    EXPECT_TRUE(staller->closedByServer);
    poster.RunAll();
    ASSERT_EQ(adapter->executed.size(), 1u) << "the waiting client is served";
    EXPECT_EQ(adapter->executed[0].address, 2u);
    EXPECT_EQ(notifier.states, (std::vector<std::string>{"client connected 127.0.0.1:40000",
                                                         "client gone 127.0.0.1:40000: request time-out",
                                                         "client connected 127.0.0.1:40000"}));

    // A whole request stops the clock; 0 means no limit.
    server.SetClientLimits(0, 0);
    Send(next, Bytes(request.begin(), request.begin() + 3));
    clock.Advance(1000000);
    EXPECT_FALSE(next->closedByServer);
}

TEST_F(Connection, AnswersTheClientDoesNotReadHoldBackItsNextRequests)
{
    auto client = tcp.Connect();
    client->unsent = CDriverConnectionSocket::kMaxUnsent + 1;
    Send(client, ReadRequest(1, 1, 0, 0, 0) + ReadRequest(2, 1, 0, 0, 0));
    EXPECT_TRUE(adapter->executed.empty()) << "nothing read while the answers pile up";
    client->unsent = CDriverConnectionSocket::kMaxUnsent;
    static_cast<ITcpEvents&>(Events_()).onClientReadable();  // some went out
    poster.RunAll();
    EXPECT_EQ(adapter->executed.size(), 2u);
}

TEST_F(Connection, AfterAHalfCloseTheRequestsReceivedAreAnsweredThenTheConnectionCloses)
{
    adapter->answerAtOnce = false;
    auto client = tcp.Connect();
    auto next = tcp.Connect();
    const Bytes cut = ReadRequest(3, 1, 0, 0, 0);
    client->inputEnded = true;
    Send(client, ReadRequest(1, 1, 0, 0, 0) + ReadRequest(2, 1, 0, 0, 0) + Bytes(cut.begin(), cut.begin() + 5));
    ASSERT_EQ(adapter->executed.size(), 1u);
    adapter->Answer(0);
    poster.RunAll();
    ASSERT_EQ(adapter->executed.size(), 2u);
    EXPECT_FALSE(client->closedByServer);
    adapter->Answer(0);
    poster.RunAll();
    EXPECT_EQ(client->sent, (Status(0) + Bytes{0} + Status(0) + Bytes{0}));
    EXPECT_TRUE(client->closedByServer) << "the request cut short by the end of input is dropped";
    EXPECT_EQ(adapter->executed.size(), 2u);
    EXPECT_TRUE(server.connection().isConnected) << "the next client is taken up";
}

TEST_F(Connection, APortThatCannotBeBoundSaysWhy)
{
    server.CloseListening();
    tcp.refusedPort = 80;
    server.Open(80);
    EXPECT_EQ(server.listener().OpenError(), "127.0.0.1:80: Address already in use");
}

TEST_F(Connection, TracesEveryRequestAndItsAnswer)
{
    TraceRecorder trace;
    auto client = tcp.Connect();
    adapter->dataToSet = {0xCD, 0xAB};
    Send(client, ReadRequest(5, 2, 0x1234, 1, 0));
    Send(client, WriteRequest(3, {0x02, 0x01}, 0x10, 2, 0));
    Send(client, ControlRequest(1, 1, 0));
    adapter->statusToSet = 5;
    Send(client, ReadRequest(5, 3, 0x1234, 1, 0));
    Send(client, WriteRequest(3, Bytes(35001, 0), 0x10, 2, 0));
    Send(client, Header(4));
    EXPECT_EQ(trace.lines, (std::vector<std::string>{
                               "client connected 127.0.0.1:40000",
                               "client > read a=0x05 len=2 i1=0x1234 i2=1 i3=0",
                               "client < status 0 data cd ab",
                               "client > write a=0x03 len=2 i1=0x10 i2=2 i3=0 data 02 01",
                               "client < status 0",
                               "client > control code=1 p1=1 p2=0",
                               "client < status 0",
                               "client > read a=0x05 len=3 i1=0x1234 i2=1 i3=0",
                               "client < status 5 data (3 zero bytes)",
                               "client > write a=0x03 len=35001 i1=0x10 i2=2 i3=0 (more than 35000 bytes: refused)",
                               "client < status 1",
                               "client > close driver",
                           }));
}

}  // namespace
}  // namespace nalvexa::test
