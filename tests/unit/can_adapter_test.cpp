// SPDX-License-Identifier: MIT
// The CAN adapter: settings, the library's errors, the answer wait, and the
// SDO transfers against a scripted drive on the loopback bus.
#include <gtest/gtest.h>

#include "can/adapter_can.h"
#include "can/sdo_abort_codes.h"
#include "fakes.h"
#include "loopback_can_library.h"
#include "manual_clock.h"
#include "temp_dir.h"

namespace nalvexa::test {
namespace {

CanMessage Frame(Bytes data, uint32_t id = 0x581)
{
    CanMessage m;
    m.id = id;
    m.length = 8;
    for (size_t i = 0; i < data.size() && i < 8; ++i) m.data[i] = data[i];
    return m;
}

Bytes DataOf(const CanMessage& m) { return Bytes(m.data, m.data + 8); }

class Can : public ::testing::Test {
protected:
    Can() : ini(dir.File("Nalvexa.ini")), bus(&clock) {}
    // A fast answer found by the poll 1 + 2 + ... + 64 ms after the request, a missing one after the whole wait.
    void PolledAfter1_2_4Ms();

    CAdapterCAN& Adapter()
    {
        if (!adapter) adapter = std::make_unique<CAdapterCAN>(bus, ini, clock, notifier);
        return *adapter;
    }
    // Hands the request over, and lets the bus and the timers run until it is answered.
    void Execute(uint32_t kind, uint32_t index, uint32_t first, uint32_t last, const Bytes& data = {},
                 uint32_t length = 0)
    {
        if (kind == Write) length = static_cast<uint32_t>(data.size());
        request.FillRead(0, length, index, first, last, &reply);
        request.kind = kind;
        std::copy(data.begin(), data.end(), request.data.begin());
        reply.Watch(&request);
        const size_t answered = reply.replies.size();
        Adapter().Execute(&request);
        Settle(answered);
    }
    // Runs the timers in the order they fall due until a reply beyond `answered` came.
    void Settle(size_t answered)
    {
        const int64_t end = clock.nowMs() + 1000000;
        while (reply.replies.size() == answered && clock.nextDue() <= end) clock.Advance(clock.nextDue() - clock.nowMs());
    }
    // Every request frame gets this answer.
    void AnswerAlways(Bytes answer)
    {
        bus.SetDrive([answer](const CanMessage&, LoopbackCanLibrary& b) { b.Queue(Frame(answer)); });
    }

    TempDir dir;
    IniFile ini;
    ManualClock clock;
    FakeNotifier notifier;
    LoopbackCanLibrary bus;
    std::unique_ptr<CAdapterCAN> adapter;
    DriverRequest request;
    RecordingReply reply;
};

TEST_F(Can, DefaultsOpenTheLibraryAndAreSaved)
{
    Adapter();
    EXPECT_EQ(bus.inits, 1);
    EXPECT_EQ(bus.initBtr, 28);
    EXPECT_EQ(bus.initMessageType, 0);
    EXPECT_EQ(bus.initHardware, 5);
    EXPECT_EQ(bus.initPort, 0x378u);
    EXPECT_EQ(bus.initInterrupt, 7);
    EXPECT_EQ(bus.channel, "socketcan:can0");
    EXPECT_EQ(Adapter().driverOpen, 1);
    EXPECT_EQ(Adapter().nmtWarningPending, 1);
    Adapter().SaveSettings();
    EXPECT_EQ(dir.Read("Nalvexa.ini"), "[CAN]\nInterrupt=7\nPortAddress=888\nCANBaudRate=28\nNodeIdentifier=1\n"
                                       "SdoTransmitCobId=1537\nSdoReceiveCobId=1409\nChannel=socketcan:can0\n");
}

TEST_F(Can, SettingsAreCutToTheirFieldsWidths)
{
    dir.Write("Nalvexa.ini", "[CAN]\nNodeIdentifier=300\nInterrupt=12abc\nCANBaudRate=x\nChannel=slcan:/dev/x@9600\n");
    Adapter();
    EXPECT_EQ(Adapter().NodeIdentifier, 44);
    EXPECT_EQ(Adapter().Interrupt, 12);
    EXPECT_EQ(Adapter().CANBaudRate, 0);
    EXPECT_EQ(bus.channel, "slcan:/dev/x@9600");
}

TEST_F(Can, AFailedOpenIsShownAndLeavesTheDriverClosed)
{
    bus.FailInit(can::kIllParamVal);
    Adapter();
    EXPECT_EQ(Adapter().driverOpen, 0);
    EXPECT_EQ(notifier.messages, std::vector<std::string>{"error while init CAN-Driver"});
    EXPECT_EQ(notifier.captions, std::vector<Caption>{Caption::Info}) << "caption \"info\", the error icon";
}

TEST_F(Can, LibraryErrorsAndAbortCodesHaveTheirStatuses)
{
    struct Case {
        uint32_t code;
        int32_t status;
        const char* text;
    } cases[] = {
        {0x0001, 26, "CAN Error: XMTFULL"},   {0x0010, 30, "CAN Error: BUSOFF"},
        {0x0040, 32, "CAN Error: QOVERRUN"},  {0x1C00, 39, "CAN Error: ILLHANDLE"},
        {0x2000, 36, "CAN Error: RESOURCE"},  {0x8000, 38, "CAN Error: ILLPARAMVAL"},
        {0x0003, 1, "CAN Error: Unknown Error"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CCANDriver::DriverErrorStatus(c.code), c.status) << c.code;
        EXPECT_STREQ(CCANDriver::DriverErrorText(c.code), c.text) << c.code;
    }
    EXPECT_EQ(SdoAbortStatus(0x05030000), 8);
    EXPECT_EQ(SdoAbortStatus(0x05040000), 9);
    EXPECT_EQ(SdoAbortStatus(0x06020000), 13);
    EXPECT_EQ(SdoAbortStatus(0x08000022), 25);
    EXPECT_EQ(SdoAbortStatus(0x12345678), 1);
}

TEST_F(Can, AThreeObjectReadOfSevenBytes)
{
    bus.SetDrive([](const CanMessage& sent, LoopbackCanLibrary& b) {
        switch (sent.data[3]) {
        case 1: b.Queue(Frame({0x4B, 0x00, 0x20, 0x01, 0x11, 0x22, 0, 0})); break;
        case 2: b.Queue(Frame({0x43, 0x00, 0x20, 0x02, 0x33, 0x44, 0x55, 0x66})); break;
        case 3: b.Queue(Frame({0x4F, 0x00, 0x20, 0x03, 0x77, 0, 0, 0})); break;
        }
    });
    Execute(Read, 0x2000, 1, 3, {}, 7);
    ASSERT_EQ(bus.sent.size(), 3u);
    for (uint8_t s = 1; s <= 3; ++s) {
        EXPECT_EQ(DataOf(bus.sent[s - 1]), (Bytes{0x40, 0x00, 0x20, s, 0, 0, 0, 0}));
        EXPECT_EQ(uint32_t{bus.sent[s - 1].id}, 0x601u);
        EXPECT_EQ(bus.sent[s - 1].length, 8);
    }
    ASSERT_EQ(reply.replies.size(), 1u);
    EXPECT_EQ(reply.replies[0].status, 0);
    EXPECT_EQ(Bytes(request.data.begin(), request.data.begin() + 7), (Bytes{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77}));
}

TEST_F(Can, AReadThatComesDuringAnOperatorsProcedureGoesOnTheBusAfterIt)
{
    // The drive answers each LSS inquiry 50 ms late, and SDO reads at once.
    bus.SetDrive([](const CanMessage& sent, LoopbackCanLibrary& b) {
        if (sent.id == 0x7E5) b.Queue(Frame({sent.data[0], 0x78, 0x56, 0x34, 0x12, 0, 0, 0}, 0x7E4), 50);
        if (sent.id == 0x601) b.Queue(Frame({0x4F, 0x00, 0x20, 0x01, 0x5A}));
    });
    LssIdentity identity{};
    int inquiries = 0;
    Adapter().InquireIdentity(false, [&](const LssIdentity& id, int) { identity = id, ++inquiries; });
    clock.Advance(10);  // the first inquiry is out
    Execute(Read, 0x2000, 1, 1, {}, 1);
    EXPECT_EQ(inquiries, 1) << "the procedure ended first";
    EXPECT_EQ(identity.vendorId, 0x12345678u);
    ASSERT_EQ(reply.replies.size(), 1u);
    EXPECT_EQ(reply.replies[0].status, 0);
    EXPECT_EQ(request.data[0], 0x5A);
    ASSERT_GE(bus.sent.size(), 5u);
    for (size_t i = 0; i + 1 < bus.sent.size(); ++i) EXPECT_EQ(uint32_t{bus.sent[i].id}, 0x7E5u) << "frame " << i;
    EXPECT_EQ(uint32_t{bus.sent.back().id}, 0x601u) << "the read last, after the procedure";
}

TEST_F(Can, FramesWaitingBeforeARequestAreFlushed)
{
    Adapter();
    bus.Queue(Frame({0x80, 0x00, 0x20, 0x01, 0, 0, 2, 6}));  // a stale abort of the very object
    clock.Advance(0);
    AnswerAlways({0x4F, 0x00, 0x20, 0x01, 0x5A});
    Execute(Read, 0x2000, 1, 1, {}, 1);
    EXPECT_EQ(reply.replies[0].status, 0);
    EXPECT_EQ(request.data[0], 0x5A);
}

// Frames of every kind that a busy bus puts before the drive's answer.
TEST_F(Can, OnlyTheAnswerToTheRequestIsTakenFromABusyBus)
{
    auto with = [](CanMessage m, uint8_t type, uint8_t length) {
        m.type = type;
        m.length = length;
        return m;
    };
    CanMessage heartbeat = Frame({0x05}, 0x702);
    heartbeat.length = 1;
    const struct Case {
        const char* name;
        CanMessage foreign;
    } cases[] = {
        {"a heartbeat", heartbeat},
        {"a PDO", with(Frame({0xDE, 0xAD, 0xBE, 0xEF}, 0x181), 0, 4)},
        {"another node's answer", Frame({0x4F, 0x00, 0x20, 0x01, 0x99}, 0x582)},
        {"an answer for another object", Frame({0x4F, 0x01, 0x20, 0x01, 0x99})},
        {"an answer for another sub-index", Frame({0x4F, 0x00, 0x20, 0x02, 0x99})},
        {"an abort for another object", Frame({0x80, 0x00, 0x21, 0x01, 0, 0, 2, 6})},
        {"a download answer for the object", Frame({0x60, 0x00, 0x20, 0x01})},
        {"seven bytes", with(Frame({0x4F, 0x00, 0x20, 0x01, 0x99}), 0, 7)},
        {"a remote frame", with(Frame({0x4F, 0x00, 0x20, 0x01, 0x99}), 1, 8)},
        {"a 29-bit identifier", with(Frame({0x4F, 0x00, 0x20, 0x01, 0x99}), 2, 8)},
    };
    for (const Case& c : cases) {
        const CanMessage foreign = c.foreign;
        bus.SetDrive([foreign](const CanMessage& sent, LoopbackCanLibrary& b) {
            b.Queue(foreign);
            b.Queue(Frame({0x4F, sent.data[1], sent.data[2], sent.data[3], 0x5A}), 3);
        });
        const uint64_t ignored = Adapter().ignoredFrames();
        Execute(Read, 0x2000, 1, 1, {}, 2);
        EXPECT_EQ(reply.replies.back().status, 0) << c.name;
        EXPECT_EQ(Bytes(request.data.begin(), request.data.begin() + 2), (Bytes{0x5A, 0x00})) << c.name;
        EXPECT_EQ(Adapter().ignoredFrames(), ignored + 1) << c.name;
    }
}

TEST_F(Can, SegmentAnswersMustCarryTheExpectedToggle)
{
    bus.SetDrive([](const CanMessage& sent, LoopbackCanLibrary& b) {
        if (sent.data[0] == 0x40) {
            b.Queue(Frame({0x41, 0x08, 0x10, 0x00, 10, 0, 0, 0}));
        } else if (sent.data[0] == 0x60) {
            b.Queue(Frame({0x80, 0x00, 0x20, 0x01, 0, 0, 0, 8}));  // an abort of another transfer
            b.Queue(Frame({0x10, 9, 9, 9, 9, 9, 9, 9}));        // the wrong toggle
            b.Queue(Frame({0x00, 1, 2, 3, 4, 5, 6, 7}));
        } else {
            b.Queue(Frame({0x09, 9, 9, 9}));  // a copy of the first segment's answer, last, toggle 0
            b.Queue(Frame({0x19, 8, 9, 10}));
        }
    });
    Execute(Read, 0x1008, 0, 0, {}, 10);
    EXPECT_EQ(reply.replies[0].status, 0);
    EXPECT_EQ(Bytes(request.data.begin(), request.data.begin() + 10), (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_EQ(Adapter().ignoredFrames(), 3u);

    // An abort that names the transfer's object ends it.
    bus.SetDrive([](const CanMessage& sent, LoopbackCanLibrary& b) {
        if (sent.data[0] == 0x40) b.Queue(Frame({0x41, 0x08, 0x10, 0x00, 10, 0, 0, 0}));
        else b.Queue(Frame({0x80, 0x08, 0x10, 0x00, 0, 0, 3, 5}));
    });
    Execute(Read, 0x1008, 0, 0, {}, 10);
    EXPECT_EQ(reply.replies.back().status, 8);
}

TEST_F(Can, ForeignFramesDoNotLengthenTheWait)
{
    bus.SetDrive([](const CanMessage&, LoopbackCanLibrary& b) {
        for (int t = 1000; t < 30000; t += 1000) b.Queue(Frame({0x05}, 0x702), t);
    });
    Adapter();
    const int64_t before = clock.nowMs();
    Execute(Read, 0x2000, 1, 1, {}, 2);
    EXPECT_EQ(reply.replies[0].status, 40);
    EXPECT_EQ(clock.nowMs() - before, 16383);
}

TEST_F(Can, AnAbortEndsOnlyItsSubIndex)
{
    bus.SetDrive([](const CanMessage& sent, LoopbackCanLibrary& b) {
        if (sent.data[3] == 1)
            b.Queue(Frame({0x80, 0x00, 0x20, 0x01, 0x00, 0x00, 0x02, 0x06}));
        else
            b.Queue(Frame({0x4F, 0x00, 0x20, sent.data[3], sent.data[3]}));
    });
    Execute(Read, 0x2000, 1, 3, {}, 2);
    EXPECT_EQ(bus.sent.size(), 3u);
    EXPECT_EQ(reply.replies[0].status, 13);
    EXPECT_EQ(request.data[0], 2) << "later values move up";
    EXPECT_EQ(request.data[1], 3);
}

TEST_F(Can, SegmentedUploadAndItsEnds)
{
    bus.SetDrive([](const CanMessage& sent, LoopbackCanLibrary& b) {
        if (sent.data[0] == 0x40) b.Queue(Frame({0x41, 0x08, 0x10, 0x00, 10, 0, 0, 0}));
        if (sent.data[0] == 0x60) b.Queue(Frame({0x00, 1, 2, 3, 4, 5, 6, 7}));
        if (sent.data[0] == 0x70) b.Queue(Frame({0x19, 8, 9, 10, 0, 0, 0, 0}));
    });
    Execute(Read, 0x1008, 0, 0, {}, 10);
    ASSERT_EQ(bus.sent.size(), 3u);
    EXPECT_EQ(bus.sent[1].data[0], 0x60);
    EXPECT_EQ(bus.sent[2].data[0], 0x70);
    EXPECT_EQ(Bytes(request.data.begin(), request.data.begin() + 10), (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_EQ(reply.replies[0].status, 0);

    AnswerAlways({0x41, 0x08, 0x10, 0x00, 0, 0, 0, 0});
    Execute(Read, 0x1008, 0, 0, {}, 10);
    EXPECT_EQ(reply.replies.back().status, 41) << "a size of 0";
}

TEST_F(Can, AnUploadThatNeverEndsStopsAtTheEndOfData)
{
    bus.SetDrive([](const CanMessage& sent, LoopbackCanLibrary& b) {
        if (sent.data[0] == 0x40)
            b.Queue(Frame({0x41, sent.data[1], sent.data[2], sent.data[3], 0xFF, 0xFF, 0, 0}));
        else  // never the last
            b.Queue(Frame({static_cast<uint8_t>(sent.data[0] & 0x10), 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB}));
    });
    Execute(Read, 0x1008, 0, 1, {}, 16);
    ASSERT_EQ(reply.replies.size(), 1u);
    EXPECT_EQ(reply.replies[0].status, 1);
    EXPECT_EQ(bus.sent.size(), 1u + 5000u) << "35000 bytes in segments of 7, and the next sub-index is not read";
    EXPECT_EQ(request.data[34999], 0xAB);
}

TEST_F(Can, SegmentedDownloadsOf10And255Bytes)
{
    bus.SetDrive([](const CanMessage& sent, LoopbackCanLibrary& b) {
        if (sent.data[0] == 0x21)
            b.Queue(Frame({0x60, sent.data[1], sent.data[2], sent.data[3]}));
        else
            b.Queue(Frame({static_cast<uint8_t>(0x20 | (sent.data[0] & 0x10))}));
    });
    Bytes ten = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    Execute(Write, 0x2100, 1, 1, ten);
    ASSERT_EQ(bus.sent.size(), 3u);
    EXPECT_EQ(DataOf(bus.sent[0]), (Bytes{0x21, 0x00, 0x21, 0x01, 10, 0, 0, 0}));
    EXPECT_EQ(DataOf(bus.sent[1]), (Bytes{0x00, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(DataOf(bus.sent[2]), (Bytes{0x19, 8, 9, 10, 0, 0, 0, 0}));
    EXPECT_EQ(reply.replies[0].status, 0);

    bus.sent.clear();
    Bytes many(255);
    for (size_t i = 0; i < many.size(); ++i) many[i] = static_cast<uint8_t>(i);
    Execute(Write, 0x2100, 1, 1, many);
    ASSERT_EQ(bus.sent.size(), 1u + 37u);
    EXPECT_EQ(bus.sent[0].data[4], 255);
    for (size_t i = 1; i <= 36; ++i) EXPECT_EQ(bus.sent[i].data[0], (i - 1) % 2 ? 0x10 : 0x00) << i;
    EXPECT_EQ(DataOf(bus.sent[37]), (Bytes{0x09, 252, 253, 254, 0, 0, 0, 0})) << "3 bytes, last, toggle 0";
}

TEST_F(Can, EachObjectOfADownloadCarriesItsOwnBytesWhateverBecameOfTheOneBefore)
{
    // The first object refuses its initiation: no segments go out for it.
    bus.SetDrive([](const CanMessage& sent, LoopbackCanLibrary& b) {
        if (sent.data[0] == 0x21 && sent.data[3] == 1) b.Queue(Frame({0x80, 0x00, 0x22, 0x01, 0x02, 0, 0x01, 0x06}));
        else if (sent.data[0] == 0x21) b.Queue(Frame({0x60, 0x00, 0x22, 0x02}));
        else b.Queue(Frame({static_cast<uint8_t>(0x20 | (sent.data[0] & 0x10))}));
    });
    Bytes data(20);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i);
    Execute(Write, 0x2200, 1, 2, data);
    ASSERT_EQ(bus.sent.size(), 1u + 1u + 2u);
    EXPECT_EQ(DataOf(bus.sent[1]), (Bytes{0x21, 0x00, 0x22, 0x02, 10, 0, 0, 0}));
    EXPECT_EQ(DataOf(bus.sent[2]), (Bytes{0x00, 10, 11, 12, 13, 14, 15, 16})) << "the second object's bytes, not the first's";
    EXPECT_EQ(DataOf(bus.sent[3]), (Bytes{0x19, 17, 18, 19, 0, 0, 0, 0}));
    EXPECT_EQ(reply.replies[0].status, 12);
}

TEST_F(Can, AnAnswerAtTheLastMomentOfTheWaitLetsTheTransferGoOn)
{
    bus.SetDrive([](const CanMessage& sent, LoopbackCanLibrary& b) {
        if (sent.data[0] == 0x40) b.Queue(Frame({0x41, 0x08, 0x10, 0x00, 10, 0, 0, 0}), 16383);
        if (sent.data[0] == 0x60) b.Queue(Frame({0x00, 1, 2, 3, 4, 5, 6, 7}));
        if (sent.data[0] == 0x70) b.Queue(Frame({0x19, 8, 9, 10, 0, 0, 0, 0}));
    });
    Execute(Read, 0x1008, 0, 0, {}, 10);
    EXPECT_EQ(reply.replies[0].status, 0) << "the segments' waits are their own";
    EXPECT_EQ(Bytes(request.data.begin(), request.data.begin() + 10), (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
}

TEST_F(Can, ExpeditedDownloadsShareTheLengthOverTheRange)
{
    bus.SetDrive([](const CanMessage& sent, LoopbackCanLibrary& b) {
        b.Queue(Frame({0x60, sent.data[1], sent.data[2], sent.data[3]}));
    });
    Execute(Write, 0x2000, 1, 2, {1, 2, 3, 4, 5, 6, 7, 8});
    ASSERT_EQ(bus.sent.size(), 2u);
    EXPECT_EQ(DataOf(bus.sent[0]), (Bytes{0x23, 0x00, 0x20, 1, 1, 2, 3, 4}));
    EXPECT_EQ(DataOf(bus.sent[1]), (Bytes{0x23, 0x00, 0x20, 2, 5, 6, 7, 8}));

    bus.sent.clear();
    Execute(Write, 0x2000, 1, 2, {1, 2, 3, 4, 5, 6});
    ASSERT_EQ(bus.sent.size(), 2u);
    EXPECT_EQ(DataOf(bus.sent[0]), (Bytes{0x27, 0x00, 0x20, 1, 1, 2, 3, 0}));
    EXPECT_EQ(DataOf(bus.sent[1]), (Bytes{0x27, 0x00, 0x20, 2, 4, 5, 6, 0}));

    bus.sent.clear();
    Execute(Write, 0x2000, 3, 3, {9});
    EXPECT_EQ(DataOf(bus.sent[0]), (Bytes{0x2F, 0x00, 0x20, 3, 9, 0, 0, 0}));
}

TEST_F(Can, TheBlockDownloadOf0x3007)
{
    auto drive = [](const CanMessage& sent, LoopbackCanLibrary& b) {
        if (sent.data[0] == 0xC2) b.Queue(Frame({0xA0, 0x07, 0x30, 0x01, 127}));
        if (sent.data[0] == (127 | 0x80)) b.Queue(Frame({0xA2, 127, 127}));
        if (sent.data[0] == 0xC1) b.Queue(Frame({0xA1}));
    };
    bus.SetDrive(drive);
    Bytes data(100);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i + 1);
    Execute(Write, 0x3007, 1, 99, data);
    ASSERT_EQ(bus.sent.size(), 1u + 127u + 1u);
    EXPECT_EQ(DataOf(bus.sent[0]), (Bytes{0xC2, 0x07, 0x30, 0x01, 100, 0, 0, 0}));
    for (int q = 1; q <= 9; ++q) EXPECT_EQ(bus.sent[q].data[7], 7 * q) << q;
    EXPECT_EQ(DataOf(bus.sent[10]), (Bytes{10, 64, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(DataOf(bus.sent[11]), (Bytes{11, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(bus.sent[127].data[0], 0xFF);
    EXPECT_EQ(DataOf(bus.sent[128]), (Bytes{0xC1, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(bus.statusCalls, 127);
    EXPECT_EQ(reply.replies[0].status, 0);

    bus.sent.clear();
    AnswerAlways({0x80, 0x07, 0x30, 0x01, 0x02, 0x00, 0x01, 0x06});
    Execute(Write, 0x3007, 1, 1, data);
    EXPECT_EQ(bus.sent.size(), 1u) << "no segments after an abort";
    EXPECT_EQ(reply.replies.back().status, 12);

    // Fewer bytes than the block carries: zeros after them, never what the earlier write left.
    bus.sent.clear();
    bus.SetDrive(drive);
    Execute(Write, 0x3007, 1, 1, {0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xAA});
    EXPECT_EQ(DataOf(bus.sent[1]), (Bytes{1, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7}));
    EXPECT_EQ(DataOf(bus.sent[2]), (Bytes{2, 0xA8, 0xA9, 0xAA, 0, 0, 0, 0}));
    EXPECT_EQ(DataOf(bus.sent[3]), (Bytes{3, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(reply.replies.back().status, 0);
}

TEST_F(Can, ASilentDriveTimesOutAfterTheWholeWaitAndALateFrameStillCounts)
{
    Adapter();
    int64_t before = clock.nowMs();
    Execute(Read, 0x2000, 1, 1, {}, 2);
    EXPECT_EQ(reply.replies[0].status, 40);
    EXPECT_EQ(clock.nowMs() - before, 16383);

    bus.SetDrive([](const CanMessage&, LoopbackCanLibrary& b) { b.Queue(Frame({0x4F, 0x00, 0x20, 0x01, 0x42}), 16383); });
    Execute(Read, 0x2000, 1, 1, {}, 1);
    EXPECT_EQ(reply.replies.back().status, 0);
    EXPECT_EQ(request.data[0], 0x42);
}

TEST_F(Can, ALibraryThatCannotTellOfArrivalsIsPolledAfter1_2_4Ms)
{
    // As the design waits: the same total, a fast answer found within a millisecond or so.
    bus.SetSilentArrivals(true);
    Adapter().SetWaitMode(CanWait::Doubling);
    PolledAfter1_2_4Ms();
}

TEST_F(Can, TheDoublingWaitAskedForPollsEvenALibraryThatTells)
{
    Adapter().SetWaitMode(CanWait::Doubling);
    PolledAfter1_2_4Ms();
}

void Can::PolledAfter1_2_4Ms()
{
    bus.SetDrive([](const CanMessage&, LoopbackCanLibrary& b) { b.Queue(Frame({0x4F, 0x00, 0x20, 0x01, 0x42}), 100); });
    int64_t before = clock.nowMs();
    Execute(Read, 0x2000, 1, 1, {}, 1);
    EXPECT_EQ(reply.replies[0].status, 0);
    EXPECT_EQ(clock.nowMs() - before, 127) << "found by the poll 1 + 2 + ... + 64 ms after the request";

    bus.SetDrive({});
    before = clock.nowMs();
    Execute(Read, 0x2000, 1, 1, {}, 2);
    EXPECT_EQ(reply.replies[1].status, 40);
    EXPECT_EQ(clock.nowMs() - before, 16383);
}

TEST_F(Can, ALibraryErrorEndsTheWaitAtOnce)
{
    Adapter();
    bus.SetDrive([](const CanMessage&, LoopbackCanLibrary& b) { b.FailNextRead(can::kQueueOverrun); });
    int64_t before = clock.nowMs();
    Execute(Read, 0x2000, 1, 1, {}, 2);
    EXPECT_EQ(reply.replies[0].status, 32);
    EXPECT_EQ(clock.nowMs(), before);
}

TEST_F(Can, AFailedWriteEndsTheRequestAtOnceAndIsShownOnce)
{
    Adapter();
    bus.FailWrites(can::kXmtFull);
    const int64_t before = clock.nowMs();
    Execute(Read, 0x2000, 1, 1, {}, 2);
    Execute(Read, 0x2000, 1, 1, {}, 2);
    EXPECT_EQ(reply.replies[0].status, 26) << "no answer can come to a frame never sent";
    EXPECT_EQ(reply.replies[1].status, 26);
    EXPECT_EQ(clock.nowMs(), before);
    EXPECT_EQ(notifier.messages, std::vector<std::string>{"Error executing CAN_Write (CCANDriver::WriteCanMessage)"});

    // A down interface or a bus-off controller: said once, and its end too.
    bus.FailWrites(can::kBusOff);
    Execute(Read, 0x2000, 1, 1, {}, 2);
    EXPECT_EQ(reply.replies.back().status, 30);
    bus.FailWrites(can::kOk);
    AnswerAlways({0x4F, 0x00, 0x20, 0x01, 0x5A});
    Execute(Read, 0x2000, 1, 1, {}, 2);
    EXPECT_EQ(reply.replies.back().status, 0);
    EXPECT_EQ(notifier.states, (std::vector<std::string>{"CAN bus-off socketcan:can0", "CAN bus recovered socketcan:can0"}));
    bus.FailWrites(can::kXmtFull);
    Execute(Read, 0x2000, 1, 1, {}, 2);
    EXPECT_EQ(notifier.messages.size(), 2u) << "shown again after writes had worked";
}

TEST_F(Can, ALostChannelEndsRequestsAtOnceAndIsOpenedAgain)
{
    dir.Write("Nalvexa.ini", "[CAN]\nChannel=slcan:/dev/ttyACM0\nReopenInterval=500\n");
    AnswerAlways({0x4F, 0x00, 0x20, 0x01, 0x5A});
    Adapter();
    bus.Lose("/dev/ttyACM0: hang-up");
    const int64_t before = clock.nowMs();
    Execute(Read, 0x2000, 1, 3, {}, 3);
    EXPECT_EQ(reply.replies.back().status, 39) << "a library status, at once";
    EXPECT_EQ(clock.nowMs(), before);
    EXPECT_EQ(notifier.states, std::vector<std::string>{"CAN channel lost slcan:/dev/ttyACM0: hang-up"});
    EXPECT_EQ(Adapter().driverOpen, 0);
    EXPECT_EQ(bus.closes, 1);

    const size_t sent = bus.sent.size();
    Execute(Read, 0x2000, 1, 1, {}, 1);
    EXPECT_EQ(reply.replies.back().status, 39);
    EXPECT_EQ(bus.sent.size(), sent) << "nothing tried on a closed channel";

    bus.FailInit(can::kResource);
    clock.Advance(500);
    EXPECT_EQ(bus.inits, 2);
    bus.FailInit(can::kOk);
    clock.Advance(500);
    EXPECT_EQ(bus.inits, 3);
    EXPECT_EQ(Adapter().driverOpen, 1);
    EXPECT_EQ(notifier.states.back(), "CAN channel reopened slcan:/dev/ttyACM0");
    Execute(Read, 0x2000, 1, 1, {}, 1);
    EXPECT_EQ(reply.replies.back().status, 0);
    EXPECT_TRUE(notifier.messages.empty());
}

TEST_F(Can, AChannelMissingAtStartIsOpenedWhenItAppearsButBusoffStaysOff)
{
    bus.FailInit(can::kResource);
    bus.SetInitError("/dev/ttyACM0: No such file or directory");
    Adapter();
    EXPECT_EQ(notifier.messages, std::vector<std::string>{"error while init CAN-Driver: /dev/ttyACM0: No such file or directory"});
    bus.FailInit(can::kOk);
    clock.Advance(1000);
    EXPECT_EQ(Adapter().driverOpen, 1);

    Adapter().DeinitDriver();  // the operator's "busoff"
    clock.Advance(10000);
    EXPECT_EQ(bus.inits, 2);
}

TEST_F(Can, RequestsTheFramesCannotCarryAreRefusedBeforeAnythingIsSent)
{
    Adapter();
    struct Case {
        const char* what;
        uint32_t kind, index, first, last, length;
    } cases[] = {
        {"a control request", Control, 0, 0, 0, 0},
        {"a range upside down", Read, 0x2000, 3, 2, 4},
        {"a last sub-index beyond 8 bits", Read, 0x2000, 5, 0x80000000u, 4},
        {"a first sub-index beyond 8 bits", Read, 0x2000, 0x101, 0x101, 4},
        {"an index beyond 16 bits", Read, 0x12000, 1, 1, 4},
        {"a block download beyond 16 bits", Write, 0x13007, 1, 1, 4},
        {"0 bytes per object", Write, 0x2000, 1, 2, 1},
        {"more than 255 bytes per object", Write, 0x2000, 1, 1, 256},
        {"bytes that cannot be shared equally", Write, 0x2000, 1, 3, 10},
        {"more than 256 sub-indices", Read, 0x2000, 0, 256, 4},
    };
    for (const Case& c : cases) {
        Execute(c.kind, c.index, c.first, c.last, Bytes(c.kind == Write ? c.length : 0, 1), c.length);
        EXPECT_EQ(reply.replies.back().status, 1) << c.what;
    }
    EXPECT_TRUE(bus.sent.empty());
    EXPECT_EQ(reply.replies.size(), std::size(cases));
}

}  // namespace
}  // namespace nalvexa::test
