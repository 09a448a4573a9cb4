// SPDX-License-Identifier: MIT
// The TR7100 drive protocol through the whole adapter: frames on the line,
// the acceptance rule, repetitions and time-outs on the manual clock, stream
// mode and the control codes.
#include <gtest/gtest.h>

#include "adapters/tr7100/adapter_tr7100.h"
#include "fakes.h"
#include "serial_adapter_fixture.h"
#include "loopback_can_library.h"
#include "manual_clock.h"
#include "temp_dir.h"

namespace nalvexa::test {
namespace {

class Tr7100 : public SerialAdapterFixture<CAdapterTR7100> {
protected:
    void Read(uint32_t address, uint32_t parameter, uint32_t bit6Off = 1)
    {
        Execute(nalvexa::Read, address, 2, parameter, bit6Off, 0);
    }
    void Write(uint32_t address, uint32_t parameter, uint16_t value, uint32_t bit6Off = 1)
    {
        Execute(nalvexa::Write, address, 2, parameter, bit6Off, 0,
                {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)});
    }
    void Control(uint32_t code, uint32_t p1)
    {
        request.FillControl(code, p1, 0, &reply);
        adapter.Execute(&request);
    }
};

TEST_F(Tr7100, ReadGoesOutAsThreeBytesAndTheValueComesBackLowByteFirst)
{
    Read(5, 0x1234);
    ASSERT_EQ(device.writes.size(), 1u);
    EXPECT_EQ(device.writes[0], (Bytes{0x05, 0x12, 0x34}));
    device.Arrive({0x05, 0x12, 0x34, 0xAB, 0xCD, 0x78});
    ASSERT_EQ(reply.replies.size(), 1u);
    EXPECT_EQ(reply.replies[0].status, 0);
    EXPECT_EQ(reply.replies[0].data[0], 0xCD);
    EXPECT_EQ(reply.replies[0].data[1], 0xAB);
}

TEST_F(Tr7100, ALongerReadCarriesTheValueThenZeros)
{
    request.data.fill(0xEE);
    Execute(nalvexa::Read, 5, 4, 0x1234, 1, 0);
    device.Arrive({0x05, 0x12, 0x34, 0xAB, 0xCD, 0x78});
    ASSERT_EQ(reply.replies.size(), 1u);
    EXPECT_EQ(reply.replies[0].data, (Bytes{0xCD, 0xAB, 0, 0, 0xEE, 0xEE, 0xEE, 0xEE}));
}

TEST_F(Tr7100, WhatAClientSwitchedEndsWithTheClient)
{
    Control(1, 1);
    Control(2, 0);
    ASSERT_TRUE(adapter.streamMode());
    adapter.OnClientGone();
    EXPECT_FALSE(adapter.streamMode());
    EXPECT_EQ(adapter.port().suppressDelivery(), 0);
    Read(5, 0x1234);
    device.Arrive({0x05, 0x12, 0x34, 0xAB, 0xCD, 0x78, 1, 2, 3});
    ASSERT_EQ(reply.replies.size(), 3u);
    EXPECT_EQ(reply.replies[2].status, 0) << "the next client's read is answered";
    EXPECT_TRUE(reply.blocks.empty());
}

TEST_F(Tr7100, CommandByteCarriesBit6UnlessSlIndex2IsOne)
{
    Read(5, 0x1234, 0);
    EXPECT_EQ(device.writes.back()[0], 0x45);
}

TEST_F(Tr7100, WriteGoesOutWithItsChecksumAndNeedsAnIdenticalEcho)
{
    Write(3, 0x0010, 0x0102, 2);
    ASSERT_EQ(device.writes.size(), 1u);
    EXPECT_EQ(device.writes[0], (Bytes{0xC3, 0x00, 0x10, 0x01, 0x02, 0xD6}));
    device.Arrive({0xC3, 0x00, 0x10, 0x01, 0x02, 0xD6});
    ASSERT_EQ(reply.replies.size(), 1u);
    EXPECT_EQ(reply.replies[0].status, 0);
}

TEST_F(Tr7100, AWriteWithoutTheTwoBytesOfAValueSendsNothing)
{
    Write(3, 0x0011, 0x1234);
    device.Arrive(device.writes.back());
    // The record still holds the earlier write's bytes: none of them may go out.
    for (uint32_t length : {0u, 1u}) {
        Execute(nalvexa::Write, 3, length, 0x0010, 2, 0, {0x09});
        ASSERT_EQ(reply.replies.size(), 2u + length);
        EXPECT_EQ(reply.replies.back().status, 1) << length << " bytes";
    }
    EXPECT_EQ(device.writes.size(), 1u);
}

TEST_F(Tr7100, AnswersThatFailAcceptanceAreRepeatedThenFail)
{
    struct Case {
        const char* name;
        Bytes answer;
        int32_t status;
    } cases[] = {
        {"wrong checksum", {0x05, 0x12, 0x34, 0xAB, 0xCD, 0x00}, 4},
        {"wrong echo", {0x05, 0x12, 0x35, 0xAB, 0xCD, 0x78}, 3},
        {"write bit set but echo wrong", {0x85, 0x12, 0x35, 0x00, 0x00, 0x99}, 3},
    };
    for (const Case& c : cases) {
        clock.Advance(1000);  // a quiet line after the request that failed before
        device.writes.clear();
        reply.replies.clear();
        Read(5, 0x1234);
        for (int attempt = 0; attempt < 3; ++attempt) {
            ASSERT_EQ(device.writes.size(), static_cast<size_t>(attempt + 1)) << c.name;
            device.Arrive(c.answer);
            if (attempt < 2) {
                EXPECT_TRUE(reply.replies.empty()) << c.name;
                clock.Advance(199);
                EXPECT_EQ(device.writes.size(), static_cast<size_t>(attempt + 1)) << "200 ms pause: " << c.name;
                clock.Advance(1);
            }
        }
        ASSERT_EQ(reply.replies.size(), 1u) << c.name;
        EXPECT_EQ(reply.replies[0].status, c.status) << c.name;
        EXPECT_EQ(device.writes[1], device.writes[0]) << "the same frame again";
    }
}

TEST_F(Tr7100, AWriteAnswerWithBit7IsCheckedByItsEchoAlone)
{
    // Bit 7 of byte 0 skips the checksum test of the answer; a read with such a
    // command byte is good when it echoes its three bytes.
    request.FillRead(0x85, 2, 0x1234, 1, 0, &reply);
    adapter.Execute(&request);
    device.Arrive({0x85, 0x12, 0x34, 0x01, 0x02, 0xEE});
    ASSERT_EQ(reply.replies.size(), 1u);
    EXPECT_EQ(reply.replies[0].status, 0);
    EXPECT_EQ(reply.replies[0].data[0], 0x02);
}

TEST_F(Tr7100, AnUnansweredRequestTimesOutAfterItsRepetitions)
{
    // Each repetition waits until the line has been quiet for a response
    // interval after the time-out: a late answer must not be taken for it.
    adapter.SetMaxNoOfRetries(2);
    Read(5, 0x1234);
    clock.Advance(999);
    EXPECT_EQ(device.writes.size(), 1u);
    clock.Advance(1);
    EXPECT_EQ(device.writes.size(), 2u);
    clock.Advance(1000);
    EXPECT_EQ(device.writes.size(), 3u);
    EXPECT_TRUE(reply.replies.empty());
    clock.Advance(500);
    ASSERT_EQ(reply.replies.size(), 1u);
    EXPECT_EQ(reply.replies[0].status, 5);
    EXPECT_EQ(device.writes.size(), 3u) << "three times in all";
}

TEST_F(Tr7100, WithTheDefaultsASilentDriveFailsAfterOneInterval)
{
    Read(5, 1);
    clock.Advance(500);
    ASSERT_EQ(reply.replies.size(), 1u);
    EXPECT_EQ(reply.replies[0].status, 5);
}

TEST_F(Tr7100, ADriveFallingSilentAfterABadAnswerStillEndsTheRequest)
{
    Read(5, 0x1234);
    device.Arrive({0x05, 0x12, 0x34, 0xAB, 0xCD, 0x00});
    clock.Advance(200);
    EXPECT_EQ(device.writes.size(), 2u);
    clock.Advance(500);
    ASSERT_EQ(reply.replies.size(), 1u);
    EXPECT_EQ(reply.replies[0].status, 5);
}

TEST_F(Tr7100, AnswersInPiecesAndTwoInOnePiece)
{
    Read(5, 0x1234);
    Read(5, 0x1234);
    device.Arrive({0x05, 0x12});
    device.Arrive({0x34, 0xAB});
    EXPECT_TRUE(reply.replies.empty());
    device.Arrive({0xCD, 0x78});
    ASSERT_EQ(reply.replies.size(), 1u);
    EXPECT_EQ(device.writes.size(), 2u) << "the second frame goes out after the first reply";

    // After a bad answer, what follows in the same piece comes during the
    // pause before the repetition: dropped, the repetition's answer counts.
    reply.replies.clear();
    Read(5, 0x1234);
    device.Arrive({0x05, 0x12, 0x35, 0x00, 0x01, 0x01, 0x05, 0x12, 0x34, 0x00, 0x02, 0x02});
    EXPECT_TRUE(reply.replies.empty()) << "a bad echo, then an answer during the pause";
    clock.Advance(200);
    device.Arrive({0x05, 0x12, 0x34, 0x00, 0x03, 0x03});
    ASSERT_EQ(reply.replies.size(), 1u);
    EXPECT_EQ(reply.replies[0].data[0], 0x03);
    clock.Advance(1000);  // the answer to the first copy of the frame might still come

    // ... but bytes that were there before the next frame went out are not its answer.
    reply.replies.clear();
    Read(5, 0x1234);
    Read(5, 0x1234);
    device.Arrive({0x05, 0x12, 0x34, 0x00, 0x01, 0x01, 0x05, 0x12, 0x34, 0x00, 0x02, 0x02});
    ASSERT_EQ(reply.replies.size(), 1u);
    EXPECT_EQ(reply.replies[0].data[0], 0x01);
    device.Arrive({0x05, 0x12, 0x34, 0x00, 0x03, 0x03});
    ASSERT_EQ(reply.replies.size(), 2u);
    EXPECT_EQ(reply.replies[1].data[0], 0x03);
}

TEST_F(Tr7100, StaleBytesOnTheLineAreGivenUpAfterTheResponseInterval)
{
    Read(5, 0x1234);
    clock.Advance(500);  // unanswered
    reply.replies.clear();
    device.Arrive({0x77, 0x77});  // stray bytes from a late answer
    clock.Advance(501);
    Read(5, 0x1234);
    device.Arrive({0x05, 0x12, 0x34, 0xAB, 0xCD, 0x78});
    ASSERT_EQ(reply.replies.size(), 1u);
    EXPECT_EQ(reply.replies[0].status, 0);
}

TEST_F(Tr7100, AnswersWhileNothingIsOutstandingAreDropped)
{
    Read(5, 0x1234);
    device.Arrive({0x05, 0x12, 0x34, 0xAB, 0xCD, 0x78});
    device.Arrive({0x05, 0x12, 0x34, 0xAB, 0xCD, 0x00});  // bad, but nobody asked
    clock.Advance(1000);
    EXPECT_EQ(device.writes.size(), 1u) << "no repetition for an answer nobody waits for";
    EXPECT_EQ(reply.replies.size(), 1u);
}

TEST_F(Tr7100, ClosedPortAnswersAtOnceWithStatus6)
{
    adapter.ClosePort();
    Read(5, 1);
    ASSERT_EQ(reply.replies.size(), 1u);
    EXPECT_EQ(reply.replies[0].status, 6);
    EXPECT_TRUE(device.writes.empty());
}

TEST_F(Tr7100, ControlCodeOneDropsReceivedBytesUntilReleased)
{
    Control(1, 1);
    ASSERT_EQ(reply.replies.size(), 1u);
    EXPECT_EQ(reply.replies[0].status, 0);
    Read(5, 0x1234);
    device.Arrive({0x05, 0x12, 0x34, 0xAB, 0xCD, 0x78});
    clock.Advance(500);
    EXPECT_EQ(reply.replies.back().status, 5);
    Control(1, 0);
    Read(5, 0x1234);
    device.Arrive({0x05, 0x12, 0x34, 0xAB, 0xCD, 0x78});
    EXPECT_EQ(reply.replies.back().status, 0);
}

TEST_F(Tr7100, ControlIsAnsweredAtOnceEvenWhileAReadIsOutstanding)
{
    DriverRequest read;
    RecordingReply readReply(&read);
    read.FillRead(5, 2, 0x1234, 1, 0, &readReply);
    adapter.Execute(&read);
    Control(99, 0);
    EXPECT_EQ(reply.replies.size(), 1u);
    EXPECT_TRUE(readReply.replies.empty());
}

TEST_F(Tr7100, StreamModeSendsBlocksOf500AfterTheAnswer)
{
    Control(2, 0);
    EXPECT_TRUE(adapter.streamMode());
    reply.replies.clear();
    Read(5, 0x1234);
    Bytes line = {0x05, 0x12, 0x34, 0xAB, 0xCD, 0x78};
    for (int i = 0; i < 1200; ++i) line.push_back(static_cast<uint8_t>(i));
    device.Arrive(line);
    ASSERT_EQ(reply.replies.size(), 1u);
    EXPECT_EQ(reply.replies[0].status, 0);
    EXPECT_EQ(reply.replies[0].data[0], 0xCD) << "the checksum byte is dropped";
    EXPECT_EQ(reply.replies[0].data[1], 0xAB);
    ASSERT_EQ(reply.blocks.size(), 2u);
    EXPECT_EQ(reply.blocks[0].size(), 500u);
    EXPECT_EQ(reply.blocks[1][0], static_cast<uint8_t>(500));

    Control(3, 0);
    EXPECT_FALSE(adapter.streamMode());
}

TEST_F(Tr7100, StreamModeFailuresEndTheRequest)
{
    Control(2, 0);
    reply.replies.clear();
    Read(5, 0x1234);
    device.Arrive({0x05, 0x12, 0x34, 0xAB, 0xCD, 0x00});
    ASSERT_EQ(reply.replies.size(), 1u);
    EXPECT_EQ(reply.replies[0].status, 4);

    Read(5, 0x1234);
    clock.Advance(500);
    ASSERT_EQ(reply.replies.size(), 2u);
    EXPECT_EQ(reply.replies[1].status, 5);
    EXPECT_EQ(device.writes.size(), 2u) << "no repetitions in stream mode";
}

TEST(Tr7100Settings, DefaultsWithoutAnIniFileAndSaving)
{
    TempDir dir;
    IniFile ini(dir.File("Nalvexa.ini"));
    ManualClock clock;
    FakeNotifier notifier;
    FakeSerialDevice device;
    LoopbackCanLibrary can;
    CAdapterTR7100 adapter(AdapterContext{clock, notifier, ini, device, can});
    EXPECT_EQ(device.openedName, "COM1:");
    EXPECT_EQ(device.openedWith.baudRate, 19200);
    EXPECT_EQ(device.openedWith.parity, 0);
    EXPECT_EQ(device.openedWith.stopBits, 0);
    EXPECT_EQ(device.openedWith.rtsControl, 1);
    EXPECT_EQ(device.openedWith.dtrControl, 1);
    EXPECT_EQ(adapter.GetRetryTimeout(), 500);
    EXPECT_EQ(adapter.GetMaxNoOfRetries(), 0);

    adapter.SetPortName("/dev/ttyUSB0");
    adapter.SetBaudRate(9600);
    adapter.SaveSettings();
    EXPECT_EQ(dir.Read("Nalvexa.ini"),
              "[TR7100]\nSerialPort=/dev/ttyUSB0\nBaudRate=9600\nParity=0\nStopBits=0\nRetryTimeout=500\n"
              "MaxNoOfRetries=0\n");
}

TEST(Tr7100Settings, AFailedOpenIsShownAndTheAdapterStaysUsable)
{
    TempDir dir;
    IniFile ini(dir.Write("Nalvexa.ini", "[tr7100]\nserialport=/dev/none\nRETRYTIMEOUT=250\nMaxNoOfRetries=3x\n"));
    ManualClock clock;
    FakeNotifier notifier;
    FakeSerialDevice device;
    LoopbackCanLibrary can;
    device.openResult = SerialOpenResult::OpenFailed;
    CAdapterTR7100 adapter(AdapterContext{clock, notifier, ini, device, can});
    EXPECT_EQ(notifier.messages, std::vector<std::string>{"Unable to open port /dev/none: No such file or directory"});
    EXPECT_EQ(device.openedName, "/dev/none");
    EXPECT_EQ(adapter.GetRetryTimeout(), 250);
    EXPECT_EQ(adapter.GetMaxNoOfRetries(), 3);
    EXPECT_FALSE(adapter.IsPortOpen());
}

}  // namespace
}  // namespace nalvexa::test
