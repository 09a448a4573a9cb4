// SPDX-License-Identifier: MIT
// SDO transfers against arbitrary answers from the bus.
#include <cstdlib>

#include "can/adapter_can.h"
#include "fakes.h"
#include "fuzz_input.h"
#include "loopback_can_library.h"
#include "manual_clock.h"

using namespace nalvexa;
using namespace nalvexa::test;

namespace {

class CountingReply : public IRequestReply {
public:
    void SendReply() override { ++replies; }
    void SendBlock(const uint8_t*, uint32_t) override {}
    int replies = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::Input in(data, size);
    ManualClock clock;
    FakeNotifier notifier;
    LoopbackCanLibrary bus(&clock);
    IniFile ini("/nonexistent/nalvexa-fuzz.ini");
    CAdapterCAN adapter(bus, ini, clock, notifier);
    // The drive answers every frame with the fuzzer's next bytes, or not at all,
    // or with a library error; once the input is used up it is silent.
    bus.SetDrive([&in](const CanMessage&, LoopbackCanLibrary& b) {
        if (in.empty()) return;
        uint8_t how = in.Byte();
        if (how % 16 == 0) return;
        if (how % 16 == 1) {
            b.FailNextRead(in.Word() & 0xFFFF);
            return;
        }
        CanMessage m;
        m.id = in.Word() & 0x7FF;
        m.length = 8;
        std::vector<uint8_t> bytes = in.Piece(8);
        std::copy(bytes.begin(), bytes.end(), m.data);
        b.Queue(m, how / 16);
    });
    DriverRequest request;
    CountingReply reply;
    int asked = 0;
    for (int i = 0; i < 4 && !in.empty(); ++i, ++asked) {
        uint32_t kind = in.Byte() % 3;
        request.FillRead(0, in.Word() % (kRequestDataSize + 1), in.Byte() % 2 ? 0x3007 : in.Word(), in.Byte(),
                         in.Byte(), &reply);
        request.kind = kind;
        int before = reply.replies;
        adapter.Execute(&request);
        // Exactly one answer, within the answer waits of its frames: a
        // segmented download to a silent drive waits for each segment in
        // turn, so one wait (and the drive's delay of up to 15 ms) per frame
        // that a transfer of this length takes, for each sub-index.
        const uint32_t subs = request.slIndex3 >= request.slIndex2 && request.slIndex3 - request.slIndex2 < 256
                                  ? request.slIndex3 - request.slIndex2 + 1
                                  : 1;
        const int64_t frames = request.length / subs / 7 + 3;
        const int64_t end = clock.nowMs() + subs * frames * (CCANDriver::kAnswerWaitMs + 16);
        while (reply.replies == before && clock.nextDue() <= end) clock.Advance(clock.nextDue() - clock.nowMs());
        if (reply.replies != before + 1) std::abort();
    }
    clock.Advance(10 * CCANDriver::kAnswerWaitMs);
    if (reply.replies != asked) std::abort();  // and never a second one
    return 0;
}
