// SPDX-License-Identifier: MIT
// Arbitrary bytes in arbitrary pieces from the line into each serial stack,
// with requests outstanding or not, and time passing between pieces.
#include <cstdlib>

#include "adapters/lvt/adapter_lvt.h"
#include "adapters/qmr/adapter_qmr.h"
#include "adapters/tr7100/adapter_tr7100.h"
#include "fakes.h"
#include "fuzz_input.h"
#include "loopback_can_library.h"
#include "manual_clock.h"

using namespace nalvexa;
using namespace nalvexa::test;

namespace {

// Counts answers: every request must be answered exactly once.
class CountingReply : public IRequestReply {
public:
    void SendReply() override
    {
        if (--outstanding < 0) std::abort();
    }
    void SendBlock(const uint8_t*, uint32_t count) override
    {
        if (count != 500) std::abort();
    }
    int outstanding = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::Input in(data, size);
    ManualClock clock;
    FakeNotifier notifier;
    FakeSerialDevice device;
    LoopbackCanLibrary can;
    IniFile ini("/nonexistent/nalvexa-fuzz.ini");
    AdapterContext context{clock, notifier, ini, device, can};
    std::unique_ptr<ISerialAdapter> adapter;
    switch (in.Byte() % 3) {
    case 0: adapter = std::make_unique<CAdapterTR7100>(context); break;
    case 1: adapter = std::make_unique<CAdapterQMR>(context); break;
    default: adapter = std::make_unique<CAdapterLVT>(context); break;
    }
    device.openResult = SerialOpenResult::Ok;
    adapter->OpenPort();
    adapter->SetMaxNoOfRetries(in.Byte() % 4);
    adapter->SetRetryTimeout(in.Byte() * 4);

    // A few requests of our own; each is answered before it is reused.
    DriverRequest requests[4];
    CountingReply replies[4];
    while (!in.empty()) {
        uint8_t op = in.Byte();
        switch (op % 4) {
        case 0: {  // a request, if its record is free
            int k = in.Byte() % 4;
            if (replies[k].outstanding > 0) break;
            DriverRequest& r = requests[k];
            uint32_t kind = in.Byte() % 3;
            r.FillRead(in.Byte(), in.Word() % (kRequestDataSize + 1), in.Word(), in.Word(), in.Word(), &replies[k]);
            r.kind = kind;
            ++replies[k].outstanding;
            adapter->Execute(&r);
            break;
        }
        case 1:
        case 2: {  // bytes from the line
            std::vector<uint8_t> piece = in.Piece(in.Byte() + 1);
            device.Arrive(piece);
            break;
        }
        case 3: clock.Advance(in.Byte() * 10); break;
        }
    }
    // Every request ends: time runs out for whatever the line did not answer.
    for (int i = 0; i < 2000; ++i) clock.Advance(1000);
    for (const CountingReply& r : replies)
        if (r.outstanding != 0) std::abort();
    return 0;
}
