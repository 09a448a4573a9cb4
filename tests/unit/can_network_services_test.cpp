// SPDX-License-Identifier: MIT
// NMT commands and the LSS services and procedures, frame by frame, with
// their pauses as timers, on the loopback bus in virtual time.
#include <gtest/gtest.h>

#include <memory>

#include "can/can_driver.h"
#include "fakes.h"
#include "loopback_can_library.h"
#include "manual_clock.h"
#include "temp_dir.h"

namespace nalvexa::test {
namespace {

Bytes DataOf(const CanMessage& m) { return Bytes(m.data, m.data + m.length); }

CanMessage LssAnswer(Bytes data)
{
    CanMessage m;
    m.id = 0x7E4;
    m.length = 8;
    for (size_t i = 0; i < data.size(); ++i) m.data[i] = data[i];
    return m;
}

class Network : public ::testing::Test {
protected:
    Network() : ini(dir.File("Nalvexa.ini")), bus(&clock), driver(bus, ini, clock, notifier) { driver.InitDriver(); }
    // Runs the timers in the order they fall due until the bus has nothing left to do.
    void Run()
    {
        const int64_t end = clock.nowMs() + 1000000;
        while (driver.busy() && clock.nextDue() <= end) clock.Advance(clock.nextDue() - clock.nowMs());
    }
    // When each frame went out, from the first.
    std::vector<int64_t> Times() const
    {
        std::vector<int64_t> t;
        for (int64_t at : bus.sentAt) t.push_back(at - bus.sentAt.front());
        return t;
    }
    // What went out on the LSS identifier, as data bytes.
    std::vector<Bytes> LssFrames() const
    {
        std::vector<Bytes> frames;
        for (const CanMessage& m : bus.sent) {
            EXPECT_EQ(uint32_t{m.id}, 0x7E5u);
            EXPECT_EQ(m.length, 8);
            frames.push_back(DataOf(m));
        }
        return frames;
    }

    TempDir dir;
    IniFile ini;
    ManualClock clock;
    FakeNotifier notifier;
    LoopbackCanLibrary bus;
    CCANDriver driver;
};

TEST_F(Network, NmtCommandsGoToTheConfiguredNode)
{
    driver.NodeIdentifier = 5;
    driver.StartRemoteNode();
    driver.StopRemoteNode();
    driver.EnterPreOperationalState();
    driver.ResetNode();
    driver.NodeIdentifier = 1;
    driver.ResetCommunications();
    Run();
    ASSERT_EQ(bus.sent.size(), 5u);
    for (const CanMessage& m : bus.sent) {
        EXPECT_EQ(uint32_t{m.id}, 0u);
        EXPECT_EQ(m.length, 2);
    }
    EXPECT_EQ(DataOf(bus.sent[0]), (Bytes{0x01, 0x05}));
    EXPECT_EQ(DataOf(bus.sent[1]), (Bytes{0x02, 0x05}));
    EXPECT_EQ(DataOf(bus.sent[2]), (Bytes{0x80, 0x05}));
    EXPECT_EQ(DataOf(bus.sent[3]), (Bytes{0x81, 0x05}));
    EXPECT_EQ(DataOf(bus.sent[4]), (Bytes{0x82, 0x01}));
    EXPECT_TRUE(notifier.messages.empty());
}

TEST_F(Network, FailedWritesShowTheirOwnTexts)
{
    bus.FailWrites(can::kBusOff);
    driver.ResetNode();
    driver.SwitchModeSelective(1);
    driver.ChangeBitRate(500);  // its store is not reported
    Run();
    EXPECT_EQ(notifier.messages, (std::vector<std::string>{"Error executing ResetNode", "Error executing SwitchModeSelective",
                                                           "Error executing SwitchModeGlobalConfiguration",
                                                           "Error executing ConfigureBitTimingParameters CAN_Write",
                                                           "Error executing ActivateBitTimingParameters CAN_Write"}));
    EXPECT_EQ(notifier.captions, std::vector<Caption>(5, Caption::Info));
}

TEST_F(Network, SelectiveSwitchSendsTheSerialNumberLeastSignificantByteFirst)
{
    driver.SwitchModeSelective(0x12345678);
    Run();
    EXPECT_EQ(LssFrames(), (std::vector<Bytes>{{0x43, 0x78, 0x56, 0x34, 0x12, 0, 0, 0}}));
}

TEST_F(Network, ChangingTo250kbitMovesTheBusThenReopensTheLibrary)
{
    bool ok = false;
    const int64_t start = clock.nowMs();
    ASSERT_TRUE(driver.ChangeBitRate(250, [&](bool done) { ok = done; }));
    EXPECT_TRUE(bus.sent.size() == 1u && bus.inits == 1) << "the rest follows its pauses, on the loop";
    Run();
    EXPECT_EQ(LssFrames(), (std::vector<Bytes>{{0x04, 0x01, 0, 0, 0, 0, 0, 0},
                                               {0x13, 0x00, 0x03, 0, 0, 0, 0, 0},
                                               {0x17, 0, 0, 0, 0, 0, 0, 0},
                                               {0x15, 0x64, 0x00, 0, 0, 0, 0, 0}}));
    EXPECT_EQ(Times(), (std::vector<int64_t>{0, 100, 200, 300})) << "100 ms after each step";
    EXPECT_EQ(bus.closes, 1);
    EXPECT_EQ(bus.inits, 2);
    EXPECT_EQ(bus.initBtr, 0x011C);
    EXPECT_EQ(driver.CANBaudRate, 0x011C);
    EXPECT_EQ(clock.nowMs() - start, 500) << "closed 100 ms after the activation, opened 100 ms later";
    EXPECT_FALSE(ok) << "no confirmations came";
    EXPECT_EQ(driver.LssError(), "configure bit timing: no answer");

    bus.sent.clear();
    EXPECT_FALSE(driver.ChangeBitRate(800)) << "no table entry";
    EXPECT_TRUE(bus.sent.empty());
}

TEST_F(Network, SetNodeIdWithAndWithoutASerialNumber)
{
    bus.SetDrive([](const CanMessage& sent, LoopbackCanLibrary& b) {
        if (sent.data[0] == 0x11) b.Queue(LssAnswer({0x11, 0x00}));
    });
    driver.SetNodeId(10, nullptr);
    Run();
    EXPECT_EQ(LssFrames(), (std::vector<Bytes>{{0x04, 0x01, 0, 0, 0, 0, 0, 0},
                                               {0x11, 10, 0, 0, 0, 0, 0, 0},
                                               {0x17, 0, 0, 0, 0, 0, 0, 0},
                                               {0x04, 0x00, 0, 0, 0, 0, 0, 0}}));
    EXPECT_EQ(Times(), (std::vector<int64_t>{0, 100, 200, 300}));
    EXPECT_TRUE(notifier.messages.empty());
    EXPECT_EQ(driver.NodeIdentifier, 1) << "the program's own setting stays";

    bus.sent.clear();
    bus.sentAt.clear();
    uint32_t serial = 0xA1B2C3D4;
    driver.SetNodeId(11, &serial);
    Run();
    EXPECT_EQ(LssFrames()[0], (Bytes{0x43, 0xD4, 0xC3, 0xB2, 0xA1, 0, 0, 0}));
}

TEST_F(Network, AConfigureNodeIdErrorIsShownAndTheProcedureGoesOn)
{
    bus.SetDrive([](const CanMessage& sent, LoopbackCanLibrary& b) {
        if (sent.data[0] == 0x11) b.Queue(LssAnswer({0x11, 0x01}));
    });
    driver.SetNodeId(10, nullptr);
    Run();
    EXPECT_EQ(notifier.messages, std::vector<std::string>{"Error received after ConfigureNodeId CAN_Write"});
    EXPECT_EQ(notifier.captions, std::vector<Caption>{Caption::Info});
    EXPECT_EQ(bus.sent.size(), 4u);
}

TEST_F(Network, InquireIdentityReadsTheFourValues)
{
    bus.SetDrive([](const CanMessage& sent, LoopbackCanLibrary& b) {
        const uint8_t c = sent.data[0];
        if (c >= 0x5A && c <= 0x5D) b.Queue(LssAnswer({c, static_cast<uint8_t>(c - 0x59), 0, 0, 0x80}), 5);
    });
    LssIdentity id;
    driver.InquireIdentity(false, [&](const LssIdentity& found, int) { id = found; });
    Run();
    EXPECT_EQ(id.vendorId, 0x80000001u);
    EXPECT_EQ(id.productCode, 0x80000002u);
    EXPECT_EQ(id.revisionNumber, 0x80000003u);
    EXPECT_EQ(id.serialNumber, 0x80000004u);
    EXPECT_EQ(Times(), (std::vector<int64_t>{0, 0, 205, 410, 615, 820})) << "200 ms after each answer";
    EXPECT_EQ(LssFrames().front()[0], 0x04);
    EXPECT_EQ(LssFrames().back(), (Bytes{0x04, 0x00, 0, 0, 0, 0, 0, 0}));
}

TEST_F(Network, InquireIdentityWithNoDriveTimesOutFourTimes)
{
    int64_t before = clock.nowMs();
    LssIdentity id{9, 9, 9, 9};
    driver.InquireIdentity(false, [&](const LssIdentity& found, int) { id = found; });
    Run();
    EXPECT_EQ(id.vendorId, 0u);
    EXPECT_EQ(id.productCode, 0u);
    EXPECT_EQ(id.revisionNumber, 0u);
    EXPECT_EQ(id.serialNumber, 0u);
    EXPECT_EQ(notifier.messages, std::vector<std::string>(4, "CAN driver timeout error!"));
    EXPECT_EQ(notifier.captions, std::vector<Caption>(4, Caption::Error));
    EXPECT_EQ(clock.nowMs() - before, 4 * (16383 + 200));
}

TEST_F(Network, AnInquiryFlushesWhatWaitedBefore)
{
    bus.Queue(LssAnswer({0x5A, 0xEE, 0xEE, 0xEE, 0xEE}));
    clock.Advance(0);  // it waits in the library
    bus.SetDrive([](const CanMessage& sent, LoopbackCanLibrary& b) {
        if (sent.data[0] == 0x5A) b.Queue(LssAnswer({0x5A, 0x07}));
    });
    uint32_t vendor = 0;
    driver.InquireIdentity(false, [&](const LssIdentity& found, int) { vendor = found.vendorId; });
    Run();
    EXPECT_EQ(vendor, 7u);
}

TEST_F(Network, LssAnswersComeOnTheSlaveIdentifierWithTheServicesCommand)
{
    bus.SetDrive([](const CanMessage& sent, LoopbackCanLibrary& b) {
        CanMessage sdo = LssAnswer({0x5A, 0xEE});
        sdo.id = 0x581;  // an SDO answer that happens to look like it
        b.Queue(sdo);
        b.Queue(LssAnswer({0x5B, 0xEE}));           // the answer to another inquiry
        CanMessage shorter = LssAnswer({sent.data[0], 0xEE});
        shorter.length = 5;
        b.Queue(shorter);
        b.Queue(LssAnswer({sent.data[0], 0x07}), 2);
    });
    uint32_t vendor = 0;
    driver.InquireIdentity(false, [&](const LssIdentity& found, int) { vendor = found.vendorId; });
    Run();
    EXPECT_EQ(vendor, 7u);
    EXPECT_GE(driver.ignoredFrames(), 2u) << "the SDO answer and the short frame";

    bus.SetDrive([](const CanMessage& sent, LoopbackCanLibrary& b) {
        if (sent.data[0] == 0x11) {
            b.Queue(LssAnswer({0x17, 0x01}));  // a store confirmation with an error is not this answer
            b.Queue(LssAnswer({0x11, 0x00}));
        }
        if (sent.data[0] == 0x17) b.Queue(LssAnswer({0x17, 0x00}));
    });
    driver.SetLssConfirmWait(10);
    bool ok = false;
    driver.SetNodeId(5, nullptr, [&](bool done) { ok = done; });
    Run();
    EXPECT_TRUE(notifier.messages.empty());
    EXPECT_TRUE(ok) << driver.LssError();
}


// A drive of this identity without a node-ID, taking part in fastscans.
LoopbackCanLibrary::Drive FastscanSlave(const uint32_t (&identity)[4], bool confirmLast = true)
{
    auto part = std::make_shared<int>(0);
    return [&identity, part, confirmLast](const CanMessage& sent, LoopbackCanLibrary& b) {
        if (sent.id != 0x7E5 || sent.data[0] != 0x51) return;
        const uint32_t id = can::LittleEndian32(sent.data + 1);
        const uint8_t bit = sent.data[5], sub = sent.data[6], next = sent.data[7];
        if (bit == 0x80) {
            *part = 0;
            b.Queue(LssAnswer({0x4F}));
            return;
        }
        const uint32_t mask = bit == 0 ? 0xFFFFFFFFu : ~((1u << bit) - 1);
        if (sub != *part || ((identity[sub] ^ id) & mask)) return;
        if (bit == 0 && sub == 3 && next == 0 && !confirmLast) return;
        if (bit == 0) *part = next;
        b.Queue(LssAnswer({0x4F}), 1);
    };
}

TEST_F(Network, FastscanFindsTheIdentityOfADriveWithoutANodeId)
{
    static const uint32_t identity[4] = {0x000000A5, 0x80000001, 0x00000000, 0xFFFFFFFF};
    bus.SetDrive(FastscanSlave(identity));
    LssIdentity found;
    auto scan = [&] {
        CCANDriver::FastscanResult result = CCANDriver::FastscanResult::None;
        driver.Fastscan(5, [&](CCANDriver::FastscanResult r, const LssIdentity& id) {
            result = r;
            found = id;
        });
        Run();
        return result;
    };
    ASSERT_EQ(scan(), CCANDriver::FastscanResult::Found);
    EXPECT_EQ(found.vendorId, identity[0]);
    EXPECT_EQ(found.productCode, identity[1]);
    EXPECT_EQ(found.revisionNumber, identity[2]);
    EXPECT_EQ(found.serialNumber, identity[3]);
    // One reset, then 32 bits and a confirmation for each of the four parts.
    EXPECT_EQ(bus.sent.size(), 1u + 4 * 33);

    bus.SetDrive(FastscanSlave(identity, false));
    EXPECT_EQ(scan(), CCANDriver::FastscanResult::Failed);
    bus.SetDrive({});
    EXPECT_EQ(scan(), CCANDriver::FastscanResult::None);
}

TEST_F(Network, TheSelectiveSwitchOfTheWholeIdentityMustBeConfirmed)
{
    const LssIdentity identity{1, 2, 3, 4};
    bool ok = true;
    auto set = [&] {
        driver.SetNodeId(9, identity, 50, [&](bool done) { ok = done; });
        Run();
        return ok;
    };
    EXPECT_FALSE(set());
    EXPECT_EQ(bus.sent.size(), 4u) << "nothing more without the confirmation";
    EXPECT_EQ(LssFrames()[0], (Bytes{0x40, 1, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(LssFrames()[3], (Bytes{0x43, 4, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(driver.LssError(), "no drive of that identity answered the selective switch");

    // Confirmed, but the store refused: the procedure is not reported done.
    bus.sent.clear();
    driver.SetLssConfirmWait(50);
    bus.SetDrive([](const CanMessage& sent, LoopbackCanLibrary& b) {
        if (sent.data[0] == 0x43) b.Queue(LssAnswer({0x44}));
        if (sent.data[0] == 0x11) b.Queue(LssAnswer({0x11, 0x00}));
        if (sent.data[0] == 0x17) b.Queue(LssAnswer({0x17, 0x02}));
    });
    EXPECT_FALSE(set());
    EXPECT_EQ(driver.LssError(), "store configuration: refused with error 2");
    ASSERT_EQ(bus.sent.size(), 7u);
    EXPECT_EQ(LssFrames()[6], (Bytes{0x04, 0x00, 0, 0, 0, 0, 0, 0})) << "the drives are sent back to waiting";
}

TEST_F(Network, AScanListsEachNodeOnceAsItAnswered)
{
    bus.SetDrive([](const CanMessage& sent, LoopbackCanLibrary& b) {
        const uint32_t node = sent.id - 0x600;
        CanMessage a;
        a.id = 0x580 + node;
        a.length = 8;
        a.data[1] = 0x00, a.data[2] = 0x10;
        if (sent.data[0] != 0x40) return;
        if (node == 3) {
            a.data[0] = 0x43, a.data[4] = 0x92, a.data[5] = 0x01;
            b.Queue(a, 1);
            b.Queue(a, 1);  // twice
        } else if (node == 7) {
            a.data[0] = 0x80, a.data[7] = 0x06, a.data[6] = 0x02;
            b.Queue(a, 1);
        } else if (node == 9) {
            a.data[0] = 0x41, a.data[4] = 20;  // segmented, 20 bytes
            b.Queue(a, 1);
        } else if (node == 11) {
            CanMessage heartbeat;
            heartbeat.id = 0x70B;
            heartbeat.length = 1;
            b.Queue(heartbeat);
            a.data[0] = 0x60;  // not an upload's answer
            b.Queue(a);
        }
    });
    std::vector<CCANDriver::Node> nodes;
    driver.ScanNodes(100, [&](const std::vector<CCANDriver::Node>& found) { nodes = found; });
    ASSERT_FALSE(bus.filters.empty());
    ASSERT_EQ(bus.filters.back().size(), 2u) << "every SDO server's answers while nodes are looked for, each once";
    EXPECT_EQ(bus.filters.back()[1].id, 0x580u);
    EXPECT_EQ(bus.filters.back()[1].mask, 0x780u);
    Run();
    ASSERT_EQ(bus.filters.back().size(), 2u);
    EXPECT_EQ(bus.filters.back()[1].id, 0x581u) << "and no longer after the scan";
    EXPECT_EQ(bus.sent.size(), 128u) << "127 requests and one abort";
    ASSERT_EQ(nodes.size(), 3u);
    EXPECT_EQ(nodes[0].id, 3);
    EXPECT_TRUE(nodes[0].known);
    EXPECT_EQ(nodes[0].deviceType, 0x192u);
    EXPECT_EQ(nodes[1].id, 7);
    EXPECT_TRUE(nodes[1].aborted);
    EXPECT_EQ(nodes[1].deviceType, 0x06020000u);
    EXPECT_EQ(nodes[2].id, 9);
    EXPECT_FALSE(nodes[2].known || nodes[2].aborted);
    // The segmented transfer is ended, so the node's server does not wait for us.
    EXPECT_EQ(uint32_t{bus.sent.back().id}, 0x609u);
    EXPECT_EQ(DataOf(bus.sent.back()), (Bytes{0x80, 0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x08}));
}

TEST_F(Network, TheLibraryPassesTheDriversAnswersAndEverythingOnlyWhileTheMessageTestListens)
{
    auto ids = [&] {
        std::vector<std::pair<uint32_t, uint32_t>> out;
        for (const can::CanFilter& f : bus.filters.back()) out.emplace_back(f.id, f.mask);
        return out;
    };
    ASSERT_FALSE(bus.filters.empty()) << "set when the channel opened";
    using Ids = std::vector<std::pair<uint32_t, uint32_t>>;
    EXPECT_EQ(ids(), (Ids{{0x7E4, 0x7FF}, {0x581, 0x7FF}}));
    driver.SetHearEverything(true);
    EXPECT_TRUE(bus.filters.back().empty()) << "no filter: every frame";
    driver.SetHearEverything(false);
    EXPECT_EQ(ids(), (Ids{{0x7E4, 0x7FF}, {0x581, 0x7FF}}));
    driver.DeinitDriver();
    driver.SdoReceiveCobId = 0x585;
    driver.InitDriver();
    EXPECT_EQ(ids(), (Ids{{0x7E4, 0x7FF}, {0x585, 0x7FF}})) << "the answer identifier as set";
}

}  // namespace
}  // namespace nalvexa::test
