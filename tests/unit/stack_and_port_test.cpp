// SPDX-License-Identifier: MIT
// The stack's forwarding rule, and the serial port at the bottom of it.
#include <gtest/gtest.h>

#include "fakes.h"
#include "manual_clock.h"
#include "serial/serial_port.h"
#include "stack/message.h"

namespace nalvexa::test {
namespace {

class TestFrame : public FrameOf<TestFrame> {};

class Recorder : public EndpointNode {
public:
    void Process(Message* m) override { got.push_back(static_cast<Frame*>(m)); }
    std::vector<Frame*> got;
};

class Marking : public ProtocolLayer {
public:
    void Process(Message* m) override
    {
        auto* f = static_cast<Frame*>(m);
        f->Append(mark);
        if (stopNext) m->stop = true;
    }
    uint8_t mark = 0;
    bool stopNext = false;
};

TEST(ProtocolStack, MessagesKeepTheirDirectionAndStopWhenTold)
{
    Recorder top, bottom;
    Marking a, b;
    a.mark = 'a';
    b.mark = 'b';
    top.neighbour = &a;
    a.upper = &top;
    a.lower = &b;
    b.upper = &a;
    b.lower = &bottom;

    TestFrame down;
    a.Receive(&down, &top);
    ASSERT_EQ(bottom.got.size(), 1u);
    EXPECT_EQ(std::string(down.bytes.begin(), down.bytes.begin() + down.count), "ab");

    TestFrame up;
    b.Receive(&up, &bottom);
    ASSERT_EQ(top.got.size(), 1u);
    EXPECT_EQ(std::string(up.bytes.begin(), up.bytes.begin() + up.count), "ba");

    TestFrame stranger;  // from a node that is neither neighbour: travels up
    b.Receive(&stranger, nullptr);
    EXPECT_EQ(top.got.size(), 2u);

    a.stopNext = true;
    TestFrame stopped;
    b.Receive(&stopped, &bottom);
    EXPECT_EQ(top.got.size(), 2u);
}

TEST(Frame, EditsStayInsideTheBuffer)
{
    TestFrame f;
    uint8_t three[3] = {1, 2, 3};
    EXPECT_TRUE(f.Append(three, 3));
    EXPECT_TRUE(f.InsertFront(three, 1));
    EXPECT_EQ(f.count, 4);
    f.RemoveFront(10);
    EXPECT_EQ(f.count, 0);
    f.RemoveBack(1);
    EXPECT_EQ(f.count, 0);
    f.count = 34999;
    EXPECT_TRUE(f.Append(uint8_t{7}));
    EXPECT_FALSE(f.Append(uint8_t{8}));
    EXPECT_FALSE(f.InsertFront(three, 1));
    f.count = -5;
    f.RemoveFront(2);
    EXPECT_EQ(f.count, 0) << "a negative count is never passed on";
}

class Port : public ::testing::Test {
protected:
    Port() : port(device, notifier, clock)
    {
        port.SetReceiveMessage(&receive);
        port.neighbour = &top;
    }
    // The sizes of the pieces delivered up from now on.
    std::vector<int>& CountPieces()
    {
        counter.counts = &counts;
        port.neighbour = &counter;
        return counts;
    }

    FakeSerialDevice device;
    FakeNotifier notifier;
    ManualClock clock;
    SerialPort port;
    TestFrame receive;
    Recorder top;
    std::vector<int> counts;
    struct Counter : EndpointNode {
        std::vector<int>* counts = nullptr;
        void Process(Message* m) override { counts->push_back(static_cast<Frame*>(m)->count); }
    } counter;
};

TEST_F(Port, OpenFailuresShowTheirTexts)
{
    struct Case {
        SerialOpenResult result;
        const char* reason;
        const char* text;
        bool open;
    } cases[] = {
        {SerialOpenResult::OpenFailed, "No such file or directory", "Unable to open port COM1:: No such file or directory",
         false},
        {SerialOpenResult::QueueFailed, "Invalid argument", "Unable to call SetupComm: COM1:: Invalid argument", true},
        {SerialOpenResult::StateFailed, "1.5 stop bits are not offered here",
         "Unable to call SetCommState: COM1:: 1.5 stop bits are not offered here", true},
        {SerialOpenResult::TimeoutsFailed, "Invalid argument", "Unable to call SetCommTimeouts: COM1:: Invalid argument",
         true},
    };
    for (const Case& c : cases) {
        notifier.messages.clear();
        port.Close();
        device.openResult = c.result;
        device.reason = c.reason;
        port.Open();
        EXPECT_EQ(notifier.messages, std::vector<std::string>{c.text});
        EXPECT_EQ(port.IsOpen(), c.open) << c.text;
    }
}

TEST_F(Port, CloseOnAClosedPortReturnsMinusOne)
{
    EXPECT_EQ(port.Close(), -1);
    port.Open();
    EXPECT_EQ(port.Close(), 1);
    EXPECT_EQ(port.Close(), -1);
    EXPECT_EQ(device.closes, 1);
}

TEST_F(Port, OpeningAnOpenPortKeepsItsDevice)
{
    port.Open();
    port.Open();
    EXPECT_EQ(device.opens, 1);
}

TEST_F(Port, WritesFramesAndShowsARefusedWrite)
{
    port.setBaudRate(57600);
    port.setParity(3);
    port.Open();
    EXPECT_EQ(device.openedWith.baudRate, 57600);
    EXPECT_EQ(device.openedWith.parity, 3);
    TestFrame f;
    f.Append(uint8_t{0x42});
    port.Receive(&f, nullptr);
    EXPECT_EQ(device.writes, std::vector<Bytes>{{0x42}});
    device.failWrites = true;
    port.WriteFrame(f);
    EXPECT_EQ(notifier.messages, std::vector<std::string>{"Unable to call WriteFile"});
}

TEST_F(Port, DeliversPiecesOfAtMost1000BytesUnlessSuppressed)
{
    port.Open();
    std::vector<int>& counts = CountPieces();
    device.Arrive(Bytes(2500, 1));
    EXPECT_EQ(counts, (std::vector<int>{1000, 1000, 500}));
    port.setSuppressDelivery(1);
    device.Arrive(Bytes(10, 1));
    EXPECT_EQ(counts.size(), 3u);
}

TEST_F(Port, BytesThatArriveWhileTheFrameIsStillGoingOutAreNoAnswer)
{
    port.setBaudRate(9600);  // 8N1: ten bits a byte, about 1.04 ms
    port.Open();
    std::vector<int>& counts = CountPieces();
    EXPECT_EQ(port.TransmitMs(7), 8);
    port.setParity(2);
    port.setStopBits(2);
    EXPECT_EQ(port.TransmitMs(7), 9) << "twelve bits a byte";
    port.setParity(0);
    port.setStopBits(0);

    device.unsent = 7;  // a real line: the device still holds the whole frame
    TestFrame f;
    f.Append(Bytes(7, 0x11).data(), 7);
    port.WriteFrame(f);
    device.Arrive({1, 2, 3});
    clock.Advance(7);
    device.Arrive({4});
    EXPECT_TRUE(counts.empty()) << "the tail of an earlier answer, still arriving during the frame";
    clock.Advance(1);
    device.Arrive({5, 6});
    EXPECT_EQ(counts, std::vector<int>{2});

    // A pseudo-terminal has no line: nothing is held back.
    device.unsent = 0;
    port.WriteFrame(f);
    device.Arrive({7});
    EXPECT_EQ(counts, (std::vector<int>{2, 1}));

    // A stream keeps everything the drive sends.
    device.unsent = 7;
    port.setDiscardBeforeWrite(false);
    port.WriteFrame(f);
    device.Arrive({8});
    EXPECT_EQ(counts, (std::vector<int>{2, 1, 1}));
}

}  // namespace
}  // namespace nalvexa::test
