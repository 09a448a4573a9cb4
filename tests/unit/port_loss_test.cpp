// SPDX-License-Identifier: MIT
// A serial device that goes away and comes back, for each serial adapter:
// requests end at once, the port is opened again, and no restart is needed.
#include <gtest/gtest.h>

#include "adapters/lvt/adapter_lvt.h"
#include "adapters/lvt/lvt_crc.h"
#include "adapters/qmr/adapter_qmr.h"
#include "adapters/tr7100/adapter_tr7100.h"
#include "serial_adapter_fixture.h"
#include "stack/sum8.h"

namespace nalvexa::test {
namespace {

// A read each adapter can make, and the drive's good answer to it.
// The pause some controllers need before each new frame is `kPause` ms.
struct Tr7100Read {
    using Adapter = CAdapterTR7100;
    static constexpr int kPause = 0;
    static void Fill(DriverRequest& r, IRequestReply* sink) { r.FillRead(5, 2, 0x1234, 1, 0, sink); }
    static Bytes Answer() { return {0x05, 0x12, 0x34, 0xAB, 0xCD, 0x78}; }
};
struct QmrRead {
    using Adapter = CAdapterQMR;
    static constexpr int kPause = 0;
    static void Fill(DriverRequest& r, IRequestReply* sink) { r.FillRead(3, 2, 1, 7, 0, sink); }
    static Bytes Answer()
    {
        Bytes a = {0x06, 0x03, 0x01, 0x00, 0xCD, 0xAB};
        a.push_back(Sum8(a.data(), static_cast<int32_t>(a.size())));
        return a;
    }
};
struct LvtRead {
    using Adapter = CAdapterLVT;
    static constexpr int kPause = LvtLinkLayer::kPreFramePauseMs;
    static void Fill(DriverRequest& r, IRequestReply* sink) { r.FillRead(0, 2, 0x10, 0, 1, sink); }
    static Bytes Answer()
    {
        Bytes a = {0x0A, 0, 0x10, 0, 0, 0, 0, 0xAB, 0xCD};
        uint16_t crc = LvtCrc16().Compute(a.data(), a.size());
        a.push_back(static_cast<uint8_t>(crc >> 8));
        a.push_back(static_cast<uint8_t>(crc));
        return a;
    }
};

template <class Read>
class PortLoss : public SerialAdapterFixture<typename Read::Adapter> {
protected:
    PortLoss() : SerialAdapterFixture<typename Read::Adapter>("[TR7100]\nSerialPort=/dev/ttyUSB0\nReopenInterval=1000\n") {}

    // A read on a record of its own; returns its replies.
    RecordingReply& Ask()
    {
        records.emplace_back(std::make_unique<DriverRequest>());
        replies.emplace_back(std::make_unique<RecordingReply>(records.back().get()));
        Read::Fill(*records.back(), replies.back().get());
        this->adapter.Execute(records.back().get());
        return *replies.back();
    }
    // The time a new frame takes to go out.
    void Pause() { this->clock.Advance(Read::kPause); }

    std::vector<std::unique_ptr<DriverRequest>> records;
    std::vector<std::unique_ptr<RecordingReply>> replies;
};

using Reads = ::testing::Types<Tr7100Read, QmrRead, LvtRead>;
TYPED_TEST_SUITE(PortLoss, Reads);

TYPED_TEST(PortLoss, RequestsEndAtOnceAndThePortComesBackWithoutARestart)
{
    RecordingReply& outstanding = this->Ask();
    RecordingReply& queued = this->Ask();
    this->Pause();
    ASSERT_EQ(this->device.writes.size(), 1u);
    this->device.Lose("Input/output error");
    ASSERT_EQ(outstanding.replies.size(), 1u);
    EXPECT_EQ(outstanding.replies[0].status, 6);
    ASSERT_EQ(queued.replies.size(), 1u);
    EXPECT_EQ(queued.replies[0].status, 6);
    EXPECT_EQ(this->notifier.states, std::vector<std::string>{"port lost /dev/ttyUSB0: Input/output error"});

    RecordingReply& meanwhile = this->Ask();
    ASSERT_EQ(meanwhile.replies.size(), 1u);
    EXPECT_EQ(meanwhile.replies[0].status, 6);

    // Still gone at the first try; back at the second, with the same settings.
    this->device.openResult = SerialOpenResult::OpenFailed;
    this->clock.Advance(1000);
    EXPECT_EQ(this->device.opens, 2);
    this->device.openResult = SerialOpenResult::Ok;
    this->clock.Advance(999);
    EXPECT_EQ(this->device.opens, 2);
    this->clock.Advance(1);
    EXPECT_EQ(this->device.opens, 3);
    EXPECT_EQ(this->device.openedName, "/dev/ttyUSB0");
    EXPECT_EQ(this->notifier.states.back(), "port reopened /dev/ttyUSB0");
    EXPECT_TRUE(this->notifier.messages.empty()) << "the retries show no boxes";

    this->clock.Advance(10000);  // nothing left over from before: no time-out, no repetition
    EXPECT_EQ(outstanding.replies.size(), 1u);
    const size_t writes = this->device.writes.size();
    RecordingReply& after = this->Ask();
    this->Pause();
    ASSERT_EQ(this->device.writes.size(), writes + 1);
    this->device.Arrive(TypeParam::Answer());
    ASSERT_EQ(after.replies.size(), 1u);
    EXPECT_EQ(after.replies[0].status, 0);
    EXPECT_EQ(after.replies[0].data[0], 0xCD);
}

TYPED_TEST(PortLoss, APortTheUserClosedStaysClosedAndOpeningItEndsTheRetry)
{
    this->device.Lose();
    this->adapter.ClosePort();
    this->clock.Advance(5000);
    EXPECT_EQ(this->device.opens, 1);

    this->device.openResult = SerialOpenResult::OpenFailed;
    this->adapter.OpenPort();
    EXPECT_EQ(this->device.opens, 2);
    this->device.openResult = SerialOpenResult::Ok;
    this->clock.Advance(1000);
    EXPECT_EQ(this->device.opens, 3) << "a failed open by the user is retried too";
    EXPECT_TRUE(this->adapter.IsPortOpen());
    this->clock.Advance(5000);
    EXPECT_EQ(this->device.opens, 3);
}

TEST(PortAtStartUp, AMissingDeviceIsOpenedWhenItAppearsUnlessTheIntervalIsZero)
{
    for (const char* interval : {"1000", "0"}) {
        TempDir dir;
        IniFile ini(dir.Write("Nalvexa.ini", std::string("[TR7100]\nReopenInterval=") + interval + "\n"));
        ManualClock clock;
        FakeNotifier notifier;
        FakeSerialDevice device;
        LoopbackCanLibrary can;
        device.openResult = SerialOpenResult::OpenFailed;
        CAdapterTR7100 adapter(AdapterContext{clock, notifier, ini, device, can});
        EXPECT_EQ(notifier.messages, std::vector<std::string>{"Unable to open port COM1:: No such file or directory"});
        device.openResult = SerialOpenResult::Ok;
        clock.Advance(1000);
        EXPECT_EQ(adapter.IsPortOpen(), std::string(interval) != "0") << interval;
    }
}

}  // namespace
}  // namespace nalvexa::test
