// SPDX-License-Identifier: MIT
// The trace's lines: requests and answers, line bytes and verdicts, CAN frames.
#include <gtest/gtest.h>

#include <regex>

#include "adapters/tr7100/adapter_tr7100.h"
#include "serial_adapter_fixture.h"
#include "trace_recorder.h"

namespace nalvexa::test {
namespace {

TEST(Trace, StampsLinesAndFormatsItsPieces)
{
    struct Sink : ITraceSink {
        void write(const std::string& line) override { lines.push_back(line); }
        std::vector<std::string> lines;
    } sink;
    EXPECT_FALSE(Trace::on());
    Trace::Add(&sink);
    Trace::Line("x");
    Trace::Remove(&sink);
    Trace::Line("not written");
    ASSERT_EQ(sink.lines.size(), 1u);
    EXPECT_TRUE(std::regex_match(sink.lines[0], std::regex(R"(\d+\.\d{6} x)"))) << sink.lines[0];

    const uint8_t bytes[70] = {0xCD, 0xAB};
    EXPECT_EQ(Trace::Hex(bytes, 2), "cd ab");
    EXPECT_EQ(Trace::Hex(bytes, 0), "");
    const std::string cut = Trace::Hex(bytes, 70);
    EXPECT_EQ(cut.substr(0, 6), "cd ab ");
    EXPECT_EQ(cut.substr(cut.size() - 17), "00 ... (70 bytes)") << "cut after 64 bytes, with the total";

    CanMessage f;
    f.id = 0x601;
    f.length = 8;
    f.data[0] = 0x40, f.data[1] = 0x00, f.data[2] = 0x20, f.data[3] = 0x01;
    EXPECT_EQ(Trace::CanFrame("can0", '>', f), "can0 > 601   [8]  40 00 20 01 00 00 00 00");
    f.id = 0x12345678;
    f.type = 2;
    f.length = 2;
    EXPECT_EQ(Trace::CanFrame("vcan1", '<', f), "vcan1 < 12345678   [2]  40 00");
    f.type = 3;
    EXPECT_EQ(Trace::CanFrame("can0", '<', f), "can0 < 12345678   [2]  remote request");
    EXPECT_EQ(Trace::ChannelName("socketcan:can0"), "can0");
    EXPECT_EQ(Trace::ChannelName("slcan:/dev/ttyACM0@115200"), "ttyACM0");
}

class TracedTr7100 : public SerialAdapterFixture<CAdapterTR7100> {
protected:
    TracedTr7100() : SerialAdapterFixture("[TR7100]\nMaxNoOfRetries=1\n") {}
    TraceRecorder trace;
};

TEST_F(TracedTr7100, TheLineAndTheVerdictsOfARequest)
{
    Execute(Read, 5, 2, 0x1234, 1, 0);
    clock.Advance(500);
    clock.Advance(500);  // a quiet line before the repetition
    clock.Advance(500);
    device.Arrive({0x05, 0x12, 0x34, 0xAB, 0xCD, 0x78});
    clock.Advance(500);  // a quiet line
    Execute(Read, 5, 2, 0x1234, 1, 0);
    device.Arrive({0x05, 0x12, 0x35, 0xAB, 0xCD, 0x78});
    clock.Advance(200);
    device.Arrive({0x05, 0x12, 0x34, 0xAB, 0xCD, 0x00});
    clock.Advance(200);
    device.Arrive({0x05, 0x12, 0x34, 0xAB, 0xCD, 0x78});
    EXPECT_EQ(trace.lines, (std::vector<std::string>{
                               "line > 05 12 34",
                               "time-out, repeat 1 of 1",
                               "waiting for a quiet line",
                               "line > 05 12 34",
                               "time-out, the request fails",
                               "line < 05 12 34 ab cd 78",
                               "dropped: late answer",
                               "line > 05 12 34",
                               "line < 05 12 35 ab cd 78",
                               "bad echo, repeat in 200 ms",
                               "line > 05 12 34",
                               "line < 05 12 34 ab cd 00",
                               "bad checksum, repeat in 200 ms",
                               "line > 05 12 34",
                               "line < 05 12 34 ab cd 78",
                           }));
}

}  // namespace
}  // namespace nalvexa::test
