// The stack's forwarding rule, and the serial port at the bottom of it.
#include <gtest/gtest.h>

#include "fakes.h"
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
    Port() : port(device, notifier)
    {
        port.SetReceiveMessage(&receive);
        port.neighbour = &top;
    }
    FakeSerialDevice device;
    FakeNotifier notifier;
    SerialPort port;
    TestFrame receive;
    Recorder top;
};

TEST_F(Port, OpenFailuresShowTheirTexts)
{
    struct Case {
        SerialOpenResult result;
        const char* text;
        bool open;
    } cases[] = {
        {SerialOpenResult::OpenFailed, "Unable to open port", false},
        {SerialOpenResult::QueueFailed, "Unable to call SetupComm", true},
        {SerialOpenResult::StateFailed, "Unable to call SetCommState", true},
        {SerialOpenResult::TimeoutsFailed, "Unable to call SetCommTimeouts", true},
    };
    for (const Case& c : cases) {
        notifier.messages.clear();
        port.Close();
        device.openResult = c.result;
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
    std::vector<int> counts;
    struct Counter : EndpointNode {
        std::vector<int>* counts;
        void Process(Message* m) override { counts->push_back(static_cast<Frame*>(m)->count); }
    } counter;
    counter.counts = &counts;
    port.neighbour = &counter;
    device.Arrive(Bytes(2500, 1));
    EXPECT_EQ(counts, (std::vector<int>{1000, 1000, 500}));
    port.setSuppressDelivery(1);
    device.Arrive(Bytes(10, 1));
    EXPECT_EQ(counts.size(), 3u);
}

}  // namespace
}  // namespace nalvexa::test
