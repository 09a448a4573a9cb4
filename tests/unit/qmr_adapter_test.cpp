// SPDX-License-Identifier: MIT
// The QMR controller protocol through the whole adapter.
#include <gtest/gtest.h>

#include "adapters/qmr/adapter_qmr.h"
#include "fakes.h"
#include "serial_adapter_fixture.h"
#include "loopback_can_library.h"
#include "manual_clock.h"
#include "stack/sum8.h"
#include "temp_dir.h"

namespace nalvexa::test {
namespace {

// A whole frame: the length byte, the bytes, their sum.
Bytes Framed(Bytes body)
{
    body.insert(body.begin(), static_cast<uint8_t>(body.size() + 1));
    body.push_back(Sum8(body.data(), static_cast<int32_t>(body.size())));
    return body;
}

class Qmr : public SerialAdapterFixture<CAdapterQMR> {
protected:
    Qmr() : SerialAdapterFixture("[TR7100]\nBaudRate=19200\n") {}

    void Read(uint32_t address, uint32_t length, uint32_t i1, uint32_t i2, uint32_t i3)
    {
        Execute(nalvexa::Read, address, length, i1, i2, i3);
    }
    void Write(uint32_t address, const Bytes& data, uint32_t i1, uint32_t i2, uint32_t i3)
    {
        Execute(nalvexa::Write, address, static_cast<uint32_t>(data.size()), i1, i2, i3, data);
    }
};

TEST_F(Qmr, RequestsBecomeFramesOfBothForms)
{
    struct Case {
        const char* name;
        bool write;
        uint32_t address, i1, i2, i3;
        Bytes data;
        uint32_t readLength;
        Bytes line;
    } cases[] = {
        {"index read of 2", false, 3, 0x101, 0x1234, 0, {}, 2, {0x06, 0x03, 0x01, 0x34, 0x12, 0x02, 0x52}},
        {"index read of 3 asks for 4", false, 3, 1, 0x1234, 0, {}, 3, Framed({0x03, 0x01, 0x34, 0x12, 0x04})},
        {"index read of 1 asks for 4", false, 3, 1, 0x1234, 0, {}, 1, Framed({0x03, 0x01, 0x34, 0x12, 0x04})},
        {"byte read", false, 5, 0, 0x22, 0x11, {}, 3, Framed({0x05, 0x11, 0x11, 0x22, 0x03})},
        {"index write of 2", true, 3, 1, 0x0010, 0, {0xAA, 0xBB}, 0, Framed({0x03, 0x02, 0x10, 0x00, 0xAA, 0xBB})},
        {"index write of 4", true, 3, 1, 0x0010, 0, {1, 2, 3, 4}, 0, Framed({0x03, 0x02, 0x10, 0x00, 1, 2, 3, 4})},
        {"index write of 3 has no parameters", true, 3, 1, 0x0010, 0, {1, 2, 3}, 0, {0x03, 0x03, 0x02, 0x08}},
        {"byte write", true, 5, 0x200, 0x22, 0x11, {7, 8, 9}, 0,
         {0x08, 0x05, 0x12, 0x11, 0x22, 7, 8, 9, static_cast<uint8_t>(0x08 + 0x05 + 0x12 + 0x11 + 0x22 + 24)}},
    };
    for (const Case& c : cases) {
        device.writes.clear();
        if (c.write)
            Write(c.address, c.data, c.i1, c.i2, c.i3);
        else
            Read(c.address, c.readLength, c.i1, c.i2, c.i3);
        ASSERT_EQ(device.writes.size(), 1u) << c.name;
        EXPECT_EQ(device.writes[0], c.line) << c.name;
        device.Arrive(Framed({c.line[1], c.line[2], 0x04}));  // finish it: the controller refuses
        ASSERT_EQ(reply.replies.size(), 1u) << c.name;
        reply.replies.clear();
    }
}

TEST_F(Qmr, ThePayloadOfTheAnswerIsTheReadDataThenZeros)
{
    request.data.fill(0xEE);
    Read(3, 6, 1, 7, 0);  // the index form asks for 4 bytes
    device.Arrive(Framed({0x03, 0x01, 0x00, 0x11, 0x22, 0x33, 0x44}));
    ASSERT_EQ(reply.replies.size(), 1u);
    EXPECT_EQ(reply.replies[0].status, 0);
    EXPECT_EQ(reply.replies[0].data, (Bytes{0x11, 0x22, 0x33, 0x44, 0, 0, 0xEE, 0xEE}))
        << "the six bytes of the answer: four from the controller, then zeros";
}

TEST_F(Qmr, AnswersThatDoNotBelongToTheRequestAreRepeatedThenFail)
{
    const struct Case {
        const char* name;
        Bytes answer;
    } cases[] = {
        {"another address", Framed({0x04, 0x01, 0x00, 0x11, 0x22})},
        {"another command", Framed({0x03, 0x11, 0x00, 0x11, 0x22})},
        {"a payload too short", Framed({0x03, 0x01, 0x00, 0x11})},
        {"a payload too long", Framed({0x03, 0x01, 0x00, 0x11, 0x22, 0x33})},
        {"no header", Framed({0x03})},
        {"a length byte of 0", {0x00}},
    };
    for (const Case& c : cases) {
        device.writes.clear();
        reply.replies.clear();
        clock.Advance(1000);  // a quiet line after the one before
        Read(3, 2, 1, 7, 0);
        for (int i = 0; i < 3; ++i) {
            device.Arrive(c.answer);
            EXPECT_TRUE(i == 2 || reply.replies.empty()) << c.name;
            clock.Advance(200);
        }
        EXPECT_EQ(device.writes.size(), 3u) << c.name << ": the frame and two repetitions";
        ASSERT_EQ(reply.replies.size(), 1u) << c.name;
        EXPECT_EQ(reply.replies[0].status, 3) << c.name;
    }
    // A write's answer carries no payload to check.
    clock.Advance(1000);
    reply.replies.clear();
    Write(3, {0xAA, 0xBB}, 1, 0x10, 0);
    device.Arrive(Framed({0x03, 0x02, 0x00}));
    ASSERT_EQ(reply.replies.size(), 1u);
    EXPECT_EQ(reply.replies[0].status, 0);
}

TEST_F(Qmr, ALateAnswerIsDroppedAndTheNextRequestWaitsForAQuietLine)
{
    Read(3, 2, 1, 7, 0);
    clock.Advance(500);
    ASSERT_EQ(reply.replies.size(), 1u);
    EXPECT_EQ(reply.replies[0].status, 5);

    Read(3, 2, 1, 8, 0);
    EXPECT_EQ(device.writes.size(), 1u) << "held until the line has been quiet for a response interval";
    clock.Advance(30);
    device.Arrive(Framed({0x03, 0x01, 0x00, 0x11, 0x22}));  // the first request's answer, late
    clock.Advance(499);
    EXPECT_EQ(device.writes.size(), 1u) << "the late answer started the interval again";
    clock.Advance(1);
    ASSERT_EQ(device.writes.size(), 2u);
    EXPECT_EQ(device.writes[1], Framed({0x03, 0x01, 0x08, 0x00, 0x02}));
    device.Arrive(Framed({0x03, 0x01, 0x00, 0x33, 0x44}));
    ASSERT_EQ(reply.replies.size(), 2u);
    EXPECT_EQ(reply.replies[1].status, 0);
    EXPECT_EQ(reply.replies[1].data[0], 0x33);

    // After a good answer the next request goes out at once.
    Read(3, 2, 1, 8, 0);
    EXPECT_EQ(device.writes.size(), 3u);
}

TEST_F(Qmr, ACopyOfTheAnswerStillArrivingWhenTheNextFrameGoesOutIsDropped)
{
    device.unsent = 7;  // a real line at 9600 baud: each frame takes 8 ms to go out
    Read(3, 2, 1, 7, 0);
    clock.Advance(8);
    const Bytes first = Framed({0x03, 0x01, 0x00, 0x11, 0x22});
    device.Arrive(first);
    ASSERT_EQ(reply.replies.size(), 1u);
    Read(3, 2, 1, 8, 0);  // same address, command and length: only the time tells
    for (uint8_t b : first) {  // the drive sends its answer again, back to back
        device.Arrive({b});
        clock.Advance(1);
    }
    clock.Advance(2);  // the drive has the whole frame now, and answers
    device.Arrive(Framed({0x03, 0x01, 0x00, 0x33, 0x44}));
    ASSERT_EQ(reply.replies.size(), 2u);
    EXPECT_EQ(reply.replies[1].status, 0);
    EXPECT_EQ(reply.replies[1].data[0], 0x33) << "not the copy of the first answer";
}

TEST_F(Qmr, AnswersInPiecesAndTwoInOnePiece)
{
    Read(3, 2, 1, 7, 0);
    Bytes answer = Framed({0x03, 0x01, 0x00, 0x11, 0x22});
    device.Arrive(Bytes(answer.begin(), answer.begin() + 3));
    EXPECT_TRUE(reply.replies.empty());
    device.Arrive(Bytes(answer.begin() + 3, answer.end()));
    ASSERT_EQ(reply.replies.size(), 1u);

    DriverRequest second;
    RecordingReply secondReply(&second);
    second.FillRead(3, 2, 1, 8, 0, &secondReply);
    Read(3, 2, 1, 7, 0);
    adapter.Execute(&second);
    EXPECT_EQ(device.writes.size(), 2u) << "one frame at a time";
    Bytes two = Framed({0x03, 0x01, 0x00, 0x01, 0x00});
    Bytes other = Framed({0x03, 0x01, 0x00, 0x02, 0x00});
    two.insert(two.end(), other.begin(), other.end());
    device.Arrive(two);
    ASSERT_EQ(reply.replies.size(), 2u);
    EXPECT_EQ(reply.replies[1].data[0], 0x01);
    EXPECT_TRUE(secondReply.replies.empty()) << "the second answer came before the second frame went out";
    device.Arrive(other);
    ASSERT_EQ(secondReply.replies.size(), 1u);
    EXPECT_EQ(secondReply.replies[0].data[0], 0x02);

    // After a bad answer, what follows in the same piece came during the
    // pause before the repetition: dropped; the repetition's answer counts.
    Read(3, 2, 1, 7, 0);
    Bytes badThenGood = {0x04, 0x03, 0x01, 0x00, 0x00};
    Bytes good = Framed({0x03, 0x01, 0x00, 0x07, 0x00});
    badThenGood.insert(badThenGood.end(), good.begin(), good.end());
    device.Arrive(badThenGood);
    EXPECT_EQ(reply.replies.size(), 2u);
    clock.Advance(200);
    device.Arrive(good);
    ASSERT_EQ(reply.replies.size(), 3u);
    EXPECT_EQ(reply.replies[2].status, 0);
    EXPECT_EQ(reply.replies[2].data[0], 0x07);
}

TEST_F(Qmr, FailuresAndTheirStatuses)
{
    // The controller's error flag, even with a right sum.
    Read(3, 2, 1, 7, 0);
    device.Arrive(Framed({0x03, 0x01, 0x04, 0x11, 0x22}));
    ASSERT_EQ(reply.replies.size(), 1u);
    EXPECT_EQ(reply.replies[0].status, 2);

    // Three wrong sums in a row.
    Read(3, 2, 1, 7, 0);
    for (int i = 0; i < 3; ++i) {
        device.Arrive({0x04, 0x03, 0x01, 0x00, 0x00});
        clock.Advance(200);
    }
    ASSERT_EQ(reply.replies.size(), 2u);
    EXPECT_EQ(reply.replies[1].status, 4);
    EXPECT_EQ(device.writes.size(), 1u + 3u) << "the earlier request, then this one and its two repetitions";

    // Never answered, with two repetitions, each after a quiet line.
    clock.Advance(1000);
    adapter.SetMaxNoOfRetries(2);
    device.writes.clear();
    Read(3, 2, 1, 7, 0);
    clock.Advance(2499);
    EXPECT_EQ(reply.replies.size(), 2u);
    clock.Advance(1);
    ASSERT_EQ(reply.replies.size(), 3u);
    EXPECT_EQ(reply.replies[2].status, 5);
    EXPECT_EQ(device.writes.size(), 3u);
}

TEST_F(Qmr, AControllerFallingSilentAfterABadSumStillEndsTheRequest)
{
    Read(3, 2, 1, 7, 0);
    device.Arrive({0x04, 0x03, 0x01, 0x00, 0x00});
    clock.Advance(200 + 500);
    ASSERT_EQ(reply.replies.size(), 1u);
    EXPECT_EQ(reply.replies[0].status, 5);
}

TEST_F(Qmr, StrayBytesAreGivenUpAndLateAnswersDropped)
{
    device.Arrive({0x09, 0x01});  // stray, nothing outstanding
    clock.Advance(501);
    Read(3, 2, 1, 7, 0);
    device.Arrive(Framed({0x03, 0x01, 0x00, 0x11, 0x22}));
    ASSERT_EQ(reply.replies.size(), 1u);
    EXPECT_EQ(reply.replies[0].status, 0);
    device.Arrive({0x04, 0x03, 0x01, 0x00, 0x00});  // bad and unasked for
    clock.Advance(1000);
    EXPECT_EQ(device.writes.size(), 1u);

    Read(3, 2, 1, 7, 0);
    device.Arrive({0x09, 0x01});  // a frame goes out: its partial answer is dropped
    Read(3, 2, 1, 7, 0);
    EXPECT_EQ(reply.replies.size(), 1u);
}

TEST_F(Qmr, RequestsItCannotFrameAreAnsweredAtOnceWithStatus1)
{
    request.FillControl(1, 0, 0, &reply);
    adapter.Execute(&request);
    Write(5, Bytes(251, 1), 0, 0, 0);
    Read(5, 256, 0, 0, 0);
    ASSERT_EQ(reply.replies.size(), 3u);
    for (auto& r : reply.replies) EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(device.writes.empty());

    Write(5, Bytes(250, 1), 0, 0, 0);
    ASSERT_EQ(device.writes.size(), 1u) << "250 bytes still fit";
    EXPECT_EQ(device.writes[0][0], 255);
    EXPECT_EQ(device.writes[0].size(), 256u);
}

TEST_F(Qmr, AByteReadAsksForNoMoreThanAnAnswerCanCarry)
{
    // An answer's length byte counts address, command, flags, the bytes and the sum.
    Read(5, 252, 0, 0x22, 0x11);
    ASSERT_EQ(reply.replies.size(), 1u);
    EXPECT_EQ(reply.replies[0].status, 1);
    EXPECT_TRUE(device.writes.empty()) << "no answer could carry 252 bytes";

    Read(5, 251, 0, 0x22, 0x11);
    ASSERT_EQ(device.writes.size(), 1u);
    Bytes answer = {0x05, 0x11, 0x00};
    for (int i = 0; i < 251; ++i) answer.push_back(static_cast<uint8_t>(i));
    device.Arrive(Framed(answer));
    ASSERT_EQ(reply.replies.size(), 2u);
    EXPECT_EQ(reply.replies[1].status, 0);
    EXPECT_EQ(request.data[250], 250);
}

TEST_F(Qmr, ClosedPortAnswersWithStatus6)
{
    adapter.ClosePort();
    Read(3, 2, 1, 7, 0);
    ASSERT_EQ(reply.replies.size(), 1u);
    EXPECT_EQ(reply.replies[0].status, 6);
    EXPECT_EQ(adapter.transactionLayer().pendingCount(), 0u);
}

TEST_F(Qmr, RunsAt9600WhateverTheIniSaysAndSavesIt)
{
    EXPECT_EQ(device.openedWith.baudRate, 9600);
    EXPECT_EQ(device.openedWith.rtsControl, 0);
    adapter.SaveSettings();
    EXPECT_NE(dir.Read("Nalvexa.ini").find("BaudRate=9600\n"), std::string::npos);
}

TEST_F(Qmr, SwitchToQmrModeSendsSixBytesOneASecondAfterTheRequestOnTheLineAndHoldsTheNext)
{
    Read(3, 2, 1, 7, 0);
    adapter.SwitchToQmrMode();
    EXPECT_EQ(device.writes.size(), 1u) << "not while a request is on the line";
    std::vector<int64_t> times;
    device.writes.clear();
    // Whatever the controller says meanwhile must not reach the stack.
    device.onWrite = [&](const Bytes&) {
        times.push_back(clock.nowMs());
        device.Arrive(Framed({0x03, 0x01, 0x00, 0x11, 0x22}));
    };
    device.Arrive(Framed({0x03, 0x01, 0x00, 0x11, 0x22}));
    ASSERT_EQ(reply.replies.size(), 1u);

    DriverRequest next;
    RecordingReply nextReply(&next);
    next.FillRead(3, 2, 1, 8, 0, &nextReply);
    adapter.Execute(&next);  // waits for the switch to end
    clock.Advance(5999);
    EXPECT_EQ(device.writes, (std::vector<Bytes>{{0x0D}, {0x0D}, {0x10}, {0x53}, {0x43}, {0x0D}}));
    ASSERT_EQ(times.size(), 6u);
    for (size_t i = 1; i < times.size(); ++i) EXPECT_EQ(times[i] - times[i - 1], 1000) << i;
    EXPECT_TRUE(adapter.switchingMode());
    EXPECT_EQ(adapter.port().suppressDelivery(), 1);
    device.onWrite = nullptr;
    clock.Advance(1);
    EXPECT_FALSE(adapter.switchingMode());
    EXPECT_EQ(adapter.port().suppressDelivery(), 0);
    ASSERT_EQ(device.writes.size(), 7u) << "the held request goes out a second after the last byte";
    EXPECT_EQ(device.writes[6][2], 0x01);
    EXPECT_EQ(reply.replies.size(), 1u);
    EXPECT_TRUE(nextReply.replies.empty());
}

}  // namespace
}  // namespace nalvexa::test
