// SPDX-License-Identifier: MIT
// The slcan line protocol, the channel names, and the slcan back end
// against an adapter played on a pseudo-terminal.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "can/slcan_codec.h"
#include "channel_can_library.h"
#include "pseudo_terminal.h"
#include "slcan_library.h"

namespace nalvexa {
namespace {

CanMessage Frame(uint32_t id, std::vector<uint8_t> data)
{
    CanMessage m;
    m.id = id;
    m.length = static_cast<uint8_t>(data.size());
    for (size_t i = 0; i < data.size(); ++i) m.data[i] = data[i];
    return m;
}

std::vector<slcan::Event> Parse(const std::string& text)
{
    slcan::Parser p;
    p.Feed(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    std::vector<slcan::Event> events;
    slcan::Event e;
    while (p.Next(e)) events.push_back(e);
    return events;
}

TEST(Slcan, FramesAreEncodedAsTheAdaptersExpect)
{
    EXPECT_EQ(slcan::EncodeFrame(Frame(0x601, {0x40, 0x00, 0x20, 0x01, 0, 0, 0, 0})), "t60184000200100000000\r");
    EXPECT_EQ(slcan::EncodeFrame(Frame(0x000, {0x01, 0x05})), "t00020105\r");
    EXPECT_EQ(slcan::EncodeFrame(Frame(0x12345678, {0xAB})), "T123456781AB\r");
    EXPECT_EQ(slcan::EncodeFrame(Frame(0x7E5, {})), "t7E50\r");
}

TEST(Slcan, RatesOfTheBitTimingCodes)
{
    struct Case {
        uint16_t btr;
        char digit;
    } cases[] = {{0x672F, '0'}, {0x532F, '1'}, {0x472F, '2'}, {0x031C, '4'},
                 {0x011C, '5'}, {0x001C, '6'}, {0x0014, '8'}, {0x1234, 0}};
    for (const Case& c : cases) EXPECT_EQ(slcan::RateDigit(c.btr), c.digit) << std::hex << c.btr;
}

TEST(Slcan, LinesFromTheAdapter)
{
    auto events = Parse("t58184300100112233440\r\r\az\rS6\rT1FFFFFFF2ABCD\r");
    ASSERT_EQ(events.size(), 6u);
    EXPECT_EQ(events[0].kind, slcan::Event::Frame);
    EXPECT_EQ(uint32_t{events[0].frame.id}, 0x581u);
    EXPECT_EQ(events[0].frame.length, 8);
    EXPECT_EQ(events[0].frame.data[0], 0x43);
    EXPECT_EQ(events[0].frame.data[7], 0x40);
    EXPECT_EQ(events[1].kind, slcan::Event::Ok);
    EXPECT_EQ(events[2].kind, slcan::Event::Bell);
    EXPECT_EQ(events[3].kind, slcan::Event::Ok) << "z: transmission acknowledged";
    EXPECT_EQ(events[4].kind, slcan::Event::Command);
    EXPECT_EQ(events[4].text, "S6");
    EXPECT_EQ(uint32_t{events[5].frame.id}, 0x1FFFFFFFu);
    EXPECT_EQ(events[5].frame.data[1], 0xCD);
}

TEST(Slcan, MalformedLinesAreReportedAndDoNotDisturbTheNext)
{
    for (const char* bad : {"t12", "t6019000000000000000000", "tXYZ0", "t6012AB", "t6011ABCD", "T2000000001AB",
                            "x", "t80000"}) {
        auto events = Parse(std::string(bad) + "\rt0011FF\r");
        ASSERT_EQ(events.size(), 2u) << bad;
        EXPECT_EQ(events[0].kind, slcan::Event::Malformed) << bad;
        EXPECT_EQ(events[1].kind, slcan::Event::Frame) << bad;
    }
    auto overlong = Parse(std::string(500, '7') + "\rt0011FF\r");
    ASSERT_EQ(overlong.size(), 2u);
    EXPECT_EQ(overlong[0].kind, slcan::Event::Malformed);
}

TEST(ChannelCanLibrary, ChannelNamesChooseTheBackEnd)
{
    EXPECT_NE(ChannelCanLibrary::BackendFor("socketcan:vcan0"), nullptr);
    EXPECT_NE(ChannelCanLibrary::BackendFor("slcan:/dev/ttyACM0"), nullptr);
    EXPECT_NE(ChannelCanLibrary::BackendFor("slcan:/dev/ttyACM0@921600"), nullptr);
    for (const char* bad : {"", "can0", "socketcan:", "slcan:", "slcan:/dev/x@", "slcan:/dev/x@fast", "pcan:1"})
        EXPECT_EQ(ChannelCanLibrary::BackendFor(bad), nullptr) << bad;

    ChannelCanLibrary library;
    library.SetChannel("nonsense");
    EXPECT_NE(library.CAN_Init(0x001C, 0, 5, 0x378, 7), 0u);
    CanMessage m;
    EXPECT_EQ(library.CAN_Read(m), can::kIllHandle) << "nothing is open";
    EXPECT_EQ(library.CAN_Write(m), can::kIllHandle);
    library.SetChannel("slcan:/nonexistent/device");
    EXPECT_EQ(library.CAN_Init(0x001C, 0, 5, 0x378, 7), can::kResource);
    library.SetChannel("socketcan:no-such-interface0");
    EXPECT_NE(library.CAN_Init(0x001C, 0, 5, 0x378, 7), 0u);
}

// Plays a USB-CAN adapter on the other end of a pseudo-terminal.
class Adapter {
public:
    explicit Adapter(std::string answerToRate = "\r") : answerToRate_(std::move(answerToRate))
    {
        EXPECT_TRUE(pty_.Open());
        thread_ = std::thread([this] { Run(); });
    }
    ~Adapter()
    {
        stop_ = true;
        thread_.join();
    }
    std::string path() const { return pty_.devicePath(); }
    std::string Received()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return received_;
    }
    // True once the adapter has received `text`, within a second.
    bool Got(const std::string& text)
    {
        for (int i = 0; i < 100; ++i) {
            if (Received().find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    void Send(const std::string& text) { pty_.Write(reinterpret_cast<const uint8_t*>(text.data()), text.size()); }

private:
    void Run()
    {
        slcan::Parser parser;
        while (!stop_) {
            uint8_t buffer[256];
            long n = pty_.Read(buffer, sizeof buffer, 20);
            if (n <= 0) continue;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                received_.append(reinterpret_cast<char*>(buffer), static_cast<size_t>(n));
            }
            parser.Feed(buffer, static_cast<size_t>(n));
            slcan::Event e;
            while (parser.Next(e))
                if (e.kind == slcan::Event::Command) Send(e.text[0] == 'S' ? answerToRate_ : "\r");
        }
    }

    PseudoTerminal pty_;
    std::string answerToRate_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::string received_;
    std::thread thread_;
};

TEST(SlcanLibrary, OpensSendsAndReceivesThroughTheAdapter)
{
    Adapter adapter;
    SlcanLibrary library(adapter.path(), 115200);
    ASSERT_EQ(library.CAN_Init(0x011C, 0, 5, 0, 0), can::kOk);
    EXPECT_TRUE(adapter.Got("C\rS5\rO\r")) << "close, rate, open, without waiting for the answers";

    ASSERT_EQ(library.CAN_Write(Frame(0x601, {0x40, 0x00, 0x10, 0x00, 0, 0, 0, 0})), can::kOk);
    CanMessage m;
    adapter.Send("garbage\rt58184F001000AB000000\r");
    for (int i = 0; i < 100 && library.CAN_Read(m) == can::kQueueEmpty; ++i) library.WaitForFrame(50);
    EXPECT_EQ(uint32_t{m.id}, 0x581u);
    EXPECT_EQ(m.data[0], 0x4F);
    EXPECT_EQ(m.data[4], 0xAB);
    EXPECT_TRUE(adapter.Got("t60184000100000000000\r"));

    adapter.Send("\a");
    uint32_t result = can::kQueueEmpty;
    for (int i = 0; i < 100 && (result = library.CAN_Read(m)) == can::kQueueEmpty; ++i) library.WaitForFrame(50);
    EXPECT_EQ(result, can::kXmtFull) << "the adapter refused a frame";
    EXPECT_EQ(library.CAN_Write(Frame(0x601, std::vector<uint8_t>(8))), can::kOk);
    CanMessage tooLong = Frame(0x601, {});
    tooLong.length = 9;
    EXPECT_EQ(library.CAN_Write(tooLong), can::kIllParamVal) << "no malformed frame on the line";
    EXPECT_EQ(library.CAN_Close(), can::kOk);
}

TEST(SlcanLibrary, ARateTheAdapterRefusesLosesTheChannelWhenItsAnswerComes)
{
    Adapter adapter("\a");
    SlcanLibrary library(adapter.path(), 115200);
    ASSERT_EQ(library.CAN_Init(0x001C, 0, 5, 0, 0), can::kOk);
    CanMessage m;
    uint32_t result = can::kQueueEmpty;
    for (int i = 0; i < 100 && (result = library.CAN_Read(m)) == can::kQueueEmpty; ++i) library.WaitForFrame(50);
    EXPECT_EQ(result, can::kIllHandle);
    EXPECT_TRUE(library.Lost());
    EXPECT_NE(library.ErrorText().find("the adapter refused to open the channel"), std::string::npos);
    SlcanLibrary unknownRate(adapter.path(), 115200);
    EXPECT_EQ(unknownRate.CAN_Init(0x1234, 0, 5, 0, 0), can::kIllParamVal);
}

}  // namespace
}  // namespace nalvexa
