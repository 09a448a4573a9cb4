// SPDX-License-Identifier: MIT
// A serial adapter on a fake device, the manual clock and a temporary ini
// file, with one request record and the replies it got.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "adapters/adapter_context.h"
#include "fakes.h"
#include "loopback_can_library.h"
#include "manual_clock.h"
#include "temp_dir.h"

namespace nalvexa::test {

template <class AdapterT>
class SerialAdapterFixture : public ::testing::Test {
protected:
    // `iniText`: what the ini file holds when the adapter starts (none when empty).
    explicit SerialAdapterFixture(const std::string& iniText = "")
        : ini(iniText.empty() ? dir.File("Nalvexa.ini") : dir.Write("Nalvexa.ini", iniText)),
          adapter(AdapterContext{clock, notifier, ini, device, can})
    {
        reply.Watch(&request);
    }

    // Fills the request record and hands it to the adapter.
    void Execute(uint32_t kind, uint32_t address, uint32_t length, uint32_t i1, uint32_t i2, uint32_t i3,
                 const Bytes& data = {})
    {
        request.FillRead(address, length, i1, i2, i3, &reply);
        request.kind = kind;
        std::copy(data.begin(), data.end(), request.data.begin());
        adapter.Execute(&request);
    }

    TempDir dir;
    IniFile ini;
    ManualClock clock;
    FakeNotifier notifier;
    FakeSerialDevice device;
    LoopbackCanLibrary can;
    AdapterT adapter;
    DriverRequest request;
    RecordingReply reply;
};

}  // namespace nalvexa::test
