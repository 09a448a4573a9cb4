// SPDX-License-Identifier: MIT
// The LVT controller protocol: CRC framing, split transfers, statuses, the
// baud-rate switch.
#include <gtest/gtest.h>

#include <random>

#include "adapters/lvt/adapter_lvt.h"
#include "fakes.h"
#include "serial_adapter_fixture.h"
#include "loopback_can_library.h"
#include "manual_clock.h"
#include "temp_dir.h"

namespace nalvexa::test {
namespace {

TEST(LvtCrc16, MatchesThePublishedCheckValueAndTheBitwiseForm)
{
    LvtCrc16 crc;
    EXPECT_EQ(crc.initial(), 0x1D0F);
    const std::string digits = "123456789";
    EXPECT_EQ(crc.Compute(reinterpret_cast<const uint8_t*>(digits.data()), digits.size()), 0xE5CC);
    std::mt19937 random(7);
    for (size_t size : {0u, 1u, 2u, 255u, 1000u}) {
        Bytes data(size);
        for (auto& b : data) b = static_cast<uint8_t>(random());
        EXPECT_EQ(crc.Compute(data.data(), data.size()), LvtCrc16::Bitwise(data.data(), data.size())) << size;
    }
}

// A whole frame: length byte, payload, CRC high byte first.
Bytes Framed(const Bytes& payload)
{
    LvtCrc16 crc;
    Bytes f = {static_cast<uint8_t>(payload.size() + 2)};
    f.insert(f.end(), payload.begin(), payload.end());
    uint16_t c = crc.Compute(f.data(), f.size());
    f.push_back(static_cast<uint8_t>(c >> 8));
    f.push_back(static_cast<uint8_t>(c));
    return f;
}

// An answer with the controller's status and data.
Bytes Answer(uint8_t status, const Bytes& data = {})
{
    Bytes payload = {0, 0x10, 0, 0, 0, status};
    payload.insert(payload.end(), data.begin(), data.end());
    return Framed(payload);
}

class Lvt : public SerialAdapterFixture<CAdapterLVT> {
protected:
    Lvt() : SerialAdapterFixture("[TR7100]\nBaudRate=9600\n") {}

    // Each new frame goes out after the controller's pause.
    void Read(uint32_t object, uint32_t offset, uint32_t elements, uint32_t length)
    {
        Execute(nalvexa::Read, 0, length, object, offset, elements);
        clock.Advance(LvtLinkLayer::kPreFramePauseMs);
    }
    void Write(uint32_t object, uint32_t offset, uint32_t elements, const Bytes& data)
    {
        Execute(nalvexa::Write, 0, static_cast<uint32_t>(data.size()), object, offset, elements, data);
        clock.Advance(LvtLinkLayer::kPreFramePauseMs);
    }
    // The controller's bytes; the next frame of a split request follows its pause.
    void Arrive(const Bytes& bytes)
    {
        device.Arrive(bytes);
        clock.Advance(LvtLinkLayer::kPreFramePauseMs);
    }
};

TEST_F(Lvt, FramesOfAReadAndAWriteByteForByte)
{
    Execute(nalvexa::Read, 0, 2, 0x0010, 0, 1);
    clock.Advance(LvtLinkLayer::kPreFramePauseMs - 1);
    EXPECT_TRUE(device.writes.empty()) << "the controller's pause before a new frame";
    clock.Advance(1);
    ASSERT_EQ(device.writes.size(), 1u);
    EXPECT_EQ(device.writes[0], (Bytes{0x08, 0x00, 0x10, 0x00, 0x00, 0x00, 0x01, 0x9F, 0xA4}));
    Arrive({0x0A, 0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x12, 0x34, 0x1F, 0x2A});
    ASSERT_EQ(reply.replies.size(), 1u);
    EXPECT_EQ(reply.replies[0].status, 0);
    EXPECT_EQ(reply.replies[0].data[0], 0x34);
    EXPECT_EQ(reply.replies[0].data[1], 0x12);

    Write(0x0020, 0, 1, {0x02, 0x01});
    EXPECT_EQ(device.writes[1], (Bytes{0x0A, 0x00, 0x20, 0x00, 0x00, 0x00, 0x01, 0x01, 0x02, 0x71, 0x22}));
}

TEST_F(Lvt, ControllerStatusesBecomeRequestStatuses)
{
    struct Case {
        uint8_t controller;
        int32_t status;
    } cases[] = {{3, 44}, {5, 46}, {43, 84}, {44, 85}, {0xFF, 85}};
    for (const Case& c : cases) {
        reply.replies.clear();
        Read(0x10, 0, 1, 2);
        Arrive(Answer(c.controller, {0x12, 0x34}));
        ASSERT_EQ(reply.replies.size(), 1u);
        EXPECT_EQ(reply.replies[0].status, c.status) << int(c.controller);
    }
}

TEST_F(Lvt, ACorruptedAnswerIsRepeatedAndTheThirdFailsWithStatus4)
{
    Bytes good = Answer(0, {0x12, 0x34});
    for (size_t bit = 0; bit < good.size() * 8; bit += 13) {
        Bytes bad = good;
        bad[bit / 8] ^= static_cast<uint8_t>(1 << (bit % 8));
        if (bit / 8 == 0) continue;  // a changed length byte changes where the frame ends
        clock.Advance(1000);  // a quiet line after the request that failed before
        reply.replies.clear();
        device.writes.clear();
        Read(0x10, 0, 1, 2);
        for (int attempt = 0; attempt < 3; ++attempt) {
            Arrive(bad);
            clock.Advance(200);
        }
        ASSERT_EQ(reply.replies.size(), 1u) << "bit " << bit;
        EXPECT_EQ(reply.replies[0].status, 4) << "bit " << bit;
        EXPECT_EQ(device.writes.size(), 3u) << "bit " << bit;
    }
}

TEST_F(Lvt, ASilentControllerGetsSixFramesThenStatus5AndLateFramesAreDropped)
{
    EXPECT_EQ(adapter.GetMaxNoOfRetries(), 5);
    Read(0x10, 0, 1, 2);
    // Each repetition waits for a quiet response interval after the time-out,
    // and has no pause of its own.
    for (int frame = 1; frame < 6; ++frame) {
        clock.Advance(999);
        EXPECT_EQ(device.writes.size(), static_cast<size_t>(frame));
        clock.Advance(1);
    }
    EXPECT_EQ(device.writes.size(), 6u);
    clock.Advance(500);
    ASSERT_EQ(reply.replies.size(), 1u);
    EXPECT_EQ(reply.replies[0].status, 5);
    Arrive(Answer(0, {1, 2}));
    EXPECT_EQ(reply.replies.size(), 1u);
}

TEST_F(Lvt, AControllerFallingSilentAfterABadCrcStillEndsTheRequest)
{
    adapter.SetMaxNoOfRetries(0);
    Read(0x10, 0, 1, 2);
    Arrive({0x00});  // a one-byte frame: its CRC is never right
    clock.Advance(200);
    EXPECT_EQ(device.writes.size(), 2u);
    clock.Advance(500);
    ASSERT_EQ(reply.replies.size(), 1u);
    EXPECT_EQ(reply.replies[0].status, 5);
}

TEST_F(Lvt, AHundredElementReadIsSplitIntoTwoFramesAndOneReply)
{
    Read(0x10, 1000, 100, 200);
    ASSERT_EQ(device.writes.size(), 1u);
    EXPECT_EQ(Bytes(device.writes[0].begin() + 1, device.writes[0].begin() + 7),
              (Bytes{0x00, 0x10, 0x00, 0x03, 0xE8, 64}));
    Bytes first;
    for (int i = 0; i < 64; ++i) first.insert(first.end(), {static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(i)});
    Arrive(Answer(0, first));
    EXPECT_TRUE(reply.replies.empty());
    ASSERT_EQ(device.writes.size(), 2u);
    EXPECT_EQ(Bytes(device.writes[1].begin() + 1, device.writes[1].begin() + 7),
              (Bytes{0x00, 0x10, 0x00, 0x04, 0x28, 36}));
    Bytes second;
    for (int i = 64; i < 100; ++i) second.insert(second.end(), {static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(i)});
    Arrive(Answer(0, second));
    ASSERT_EQ(reply.replies.size(), 1u);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(request.data[static_cast<size_t>(2 * i)], static_cast<uint8_t>(i)) << i;
        EXPECT_EQ(request.data[static_cast<size_t>(2 * i + 1)], 0) << i;
    }
}

TEST_F(Lvt, BytesThatCameBeforeTheNextFrameAreNotItsAnswer)
{
    // The controller repeats its first answer in the same piece; by then the
    // second frame has gone out, and the repetition must not count for it.
    Read(0x10, 0, 100, 200);
    Bytes first = Answer(0, Bytes(128, 0x11));
    Bytes twice = first;
    twice.insert(twice.end(), first.begin(), first.end());
    Arrive(twice);
    ASSERT_EQ(device.writes.size(), 2u);
    EXPECT_TRUE(reply.replies.empty()) << "the second frame still waits for its own answer";
    Arrive(Answer(0, Bytes(72, 0x22)));
    ASSERT_EQ(reply.replies.size(), 1u);
    EXPECT_EQ(request.data[128], 0x22);
    EXPECT_EQ(request.data[199], 0x22);
}

TEST_F(Lvt, BytesOfThePauseBeforeAFrameAreNotItsAnswer)
{
    // The repetition of the first answer comes while the next frame waits
    // for its pause: once read, once still waiting in the device.
    Read(0x10, 0, 100, 200);
    Bytes first = Answer(0, Bytes(128, 0x11));
    device.Arrive(first);
    clock.Advance(10);
    device.Arrive(first);
    device.Pend(first);
    clock.Advance(10);
    ASSERT_EQ(device.writes.size(), 2u);
    device.DeliverPending();
    EXPECT_TRUE(reply.replies.empty()) << "dropped, or discarded when the second frame went out";
    EXPECT_GE(device.discards, 2);
    Arrive(Answer(0, Bytes(72, 0x22)));
    ASSERT_EQ(reply.replies.size(), 1u);
    EXPECT_EQ(request.data[128], 0x22);
}

TEST_F(Lvt, ExactlyOneHundredTwentyEightBytesIsOneFrame)
{
    Read(0x10, 0, 64, 128);
    Arrive(Answer(0, Bytes(128, 7)));
    EXPECT_EQ(device.writes.size(), 1u);
    EXPECT_EQ(reply.replies.size(), 1u);
}

TEST_F(Lvt, FourByteElementsAreReversed)
{
    Read(0x10, 0, 4, 16);
    Arrive(Answer(0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}));
    ASSERT_EQ(reply.replies.size(), 1u);
    EXPECT_EQ(Bytes(request.data.begin(), request.data.begin() + 8), (Bytes{4, 3, 2, 1, 8, 7, 6, 5}));
}

TEST_F(Lvt, ASplitWriteSendsConsecutiveElementsHighByteFirst)
{
    Bytes data;
    for (int i = 0; i < 80; ++i) data.insert(data.end(), {static_cast<uint8_t>(i), 0xA0});  // 160 bytes
    Write(0x20, 5, 80, data);
    ASSERT_EQ(device.writes.size(), 1u);
    EXPECT_EQ(device.writes[0][0], 6 + 128 + 2);
    EXPECT_EQ(device.writes[0][7], 0xA0);
    EXPECT_EQ(device.writes[0][8], 0);
    Arrive(Answer(0));
    ASSERT_EQ(device.writes.size(), 2u);
    EXPECT_EQ(Bytes(device.writes[1].begin() + 1, device.writes[1].begin() + 7), (Bytes{0, 0x20, 0, 0, 69, 16}));
    EXPECT_EQ(device.writes[1][8], 64);
    Arrive(Answer(0));
    ASSERT_EQ(reply.replies.size(), 1u);
    EXPECT_EQ(reply.replies[0].status, 0);
}

TEST_F(Lvt, AFailureInALaterFrameEndsTheSplitRequest)
{
    Read(0x10, 0, 100, 200);
    Arrive(Answer(0, Bytes(128, 1)));
    Arrive(Answer(9));
    ASSERT_EQ(reply.replies.size(), 1u);
    EXPECT_EQ(reply.replies[0].status, 50);
    EXPECT_EQ(device.writes.size(), 2u);
}

TEST_F(Lvt, RequestsTheSplitCannotServeAreRefusedWithStatus1)
{
    struct Case {
        const char* name;
        bool write;
        uint32_t elements, length;
    } cases[] = {
        {"element size 0", false, 10, 5},
        {"write element size 0", true, 10, 5},
        {"write without elements", true, 0, 4},
        {"read of nothing", false, 0, 0},
        {"elements of 129 bytes", false, 2, 258},
        {"write elements of 200 bytes", true, 2, 400},
        {"write of 5 bytes in 2 elements", true, 2, 5},
    };
    for (const Case& c : cases) {
        reply.replies.clear();
        if (c.write)
            Write(0x10, 0, c.elements, Bytes(c.length, 0));
        else
            Read(0x10, 0, c.elements, c.length);
        ASSERT_EQ(reply.replies.size(), 1u) << c.name;
        EXPECT_EQ(reply.replies[0].status, 1) << c.name;
    }
    EXPECT_TRUE(device.writes.empty());
}

TEST_F(Lvt, WithoutAnElementCountTheCopyStaysInsideTheAnswer)
{
    request.data.fill(0xEE);
    Read(0x10, 0, 0, 4);
    Arrive(Answer(0, {1, 2, 3}));
    ASSERT_EQ(reply.replies.size(), 1u);
    EXPECT_EQ(Bytes(request.data.begin(), request.data.begin() + 4), (Bytes{2, 3, 0, 0}))
        << "from the second data byte, nothing from beyond the answer, then zeros";
}

TEST_F(Lvt, AnswersShorterThanTheirHeaderFailWithStatus1)
{
    Read(0x10, 0, 1, 2);
    Arrive(Framed({0, 0x10, 0}));
    ASSERT_EQ(reply.replies.size(), 1u);
    EXPECT_EQ(reply.replies[0].status, 1);
}

TEST_F(Lvt, AReadAnswerMustCarryExactlyTheBytesItsFrameAskedFor)
{
    for (const Bytes& data : {Bytes{0x12}, Bytes{0x12, 0x34, 0x56}, Bytes{}}) {
        clock.Advance(1000);  // a quiet line after the request that failed before
        reply.replies.clear();
        device.writes.clear();
        Read(0x10, 0, 1, 2);
        for (int attempt = 0; attempt < 3; ++attempt) {
            Arrive(Answer(0, data));
            clock.Advance(200);
        }
        ASSERT_EQ(reply.replies.size(), 1u) << data.size();
        EXPECT_EQ(reply.replies[0].status, 3) << data.size() << " bytes for a read of 2";
        EXPECT_EQ(device.writes.size(), 3u);
    }
    // The controller's refusal carries no data and is its answer all the same.
    clock.Advance(1000);
    reply.replies.clear();
    Read(0x10, 0, 1, 2);
    Arrive(Answer(5));
    ASSERT_EQ(reply.replies.size(), 1u);
    EXPECT_EQ(reply.replies[0].status, 46);
}

TEST_F(Lvt, AReadOfTheWholeDataAreaFillsItToTheEnd)
{
    Read(0x10, 0, 35000, 35000);  // 1-byte elements, 128 per frame
    int frames = 0;
    int32_t left = 35000;
    while (reply.replies.empty() && frames < 400) {
        const int32_t n = std::min(left, 128);
        Arrive(Answer(0, Bytes(static_cast<size_t>(n), static_cast<uint8_t>(frames))));
        left -= n;
        ++frames;
    }
    ASSERT_EQ(reply.replies.size(), 1u);
    EXPECT_EQ(reply.replies[0].status, 0);
    EXPECT_EQ(frames, 274) << "35000 elements in frames of 128";
    EXPECT_EQ(request.data[34999], static_cast<uint8_t>(273)) << "the last frame's bytes at the end";
}

TEST_F(Lvt, ControlCodesSwitchTheLineSpeedWithAPauseBeforeTheAnswer)
{
    request.FillControl(1, 0, 0, &reply);
    adapter.Execute(&request);
    EXPECT_EQ(device.closes, 1);
    EXPECT_FALSE(adapter.IsPortOpen()) << "closed for the pause";
    EXPECT_TRUE(reply.replies.empty());
    clock.Advance(499);
    EXPECT_EQ(device.opens, 1);
    clock.Advance(1);
    EXPECT_EQ(device.openedWith.baudRate, 57600);
    EXPECT_TRUE(adapter.IsPortOpen());
    ASSERT_EQ(reply.replies.size(), 1u);
    EXPECT_EQ(reply.replies[0].status, 0);

    request.FillControl(2, 0, 0, &reply);
    adapter.Execute(&request);
    clock.Advance(500);
    EXPECT_EQ(device.openedWith.baudRate, 19200);

    request.FillControl(7, 0, 0, &reply);
    adapter.Execute(&request);
    EXPECT_EQ(device.opens, 3) << "other codes do nothing";
    EXPECT_EQ(reply.replies.size(), 3u);
}

TEST_F(Lvt, StartsAt19200WhateverTheIniSays)
{
    EXPECT_EQ(device.openedWith.baudRate, 19200);
    EXPECT_EQ(adapter.GetRetryTimeout(), 500);
    adapter.ClosePort();
    Read(0x10, 0, 1, 2);
    EXPECT_EQ(reply.replies.back().status, 6);
}

}  // namespace
}  // namespace nalvexa::test
