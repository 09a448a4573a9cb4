// SPDX-License-Identifier: MIT
// When a frame may go out on a request-and-answer line, shown on the TR7100
// adapter (the three serial adapters share it): the quiet after a time-out,
// after repetitions and after a failure; the silence after a clean exchange;
// a line that never goes quiet.
#include <gtest/gtest.h>

#include "adapters/tr7100/adapter_tr7100.h"
#include "serial_adapter_fixture.h"

namespace nalvexa::test {
namespace {

const Bytes kAnswer = {0x05, 0x12, 0x34, 0xAB, 0xCD, 0x78};

class Rhythm : public SerialAdapterFixture<CAdapterTR7100> {
protected:
    explicit Rhythm(const std::string& ini = "[TR7100]\nRetryTimeout=200\nMaxNoOfRetries=1\n") : SerialAdapterFixture(ini)
    {
    }
    void Read() { Execute(nalvexa::Read, 5, 2, 0x1234, 1, 0); }
    // Time passes in steps of `step` ms; true when a frame went out meanwhile.
    bool SentWithin(int ms, int step = 1)
    {
        const size_t before = device.writes.size();
        for (int t = 0; t < ms; t += step) clock.Advance(step);
        return device.writes.size() > before;
    }
};

TEST_F(Rhythm, ARepetitionAfterATimeOutWaitsForAQuietLineAndALateAnswerIsDroppedMeanwhile)
{
    Read();
    clock.Advance(200);  // time-out
    EXPECT_EQ(device.writes.size(), 1u);
    clock.Advance(100);
    device.Arrive(kAnswer);  // the first frame's answer, late
    EXPECT_TRUE(reply.replies.empty()) << "not taken: nothing was awaited";
    EXPECT_FALSE(SentWithin(199)) << "the late answer started the quiet interval again";
    EXPECT_TRUE(SentWithin(1));
    device.Arrive(kAnswer);
    ASSERT_EQ(reply.replies.size(), 1u);
    EXPECT_EQ(reply.replies[0].status, 0);
}

TEST_F(Rhythm, AfterAnAnswerToARepeatedFrameTheNextWaitsUntilTheOtherAnswerCannotCome)
{
    Read();
    device.Arrive({0x05, 0x12, 0x35, 0xAB, 0xCD, 0x78});  // bad echo
    clock.Advance(200);
    ASSERT_EQ(device.writes.size(), 2u);
    clock.Advance(10);
    device.Arrive(kAnswer);
    ASSERT_EQ(reply.replies.size(), 1u);
    // The answer to the first copy may still come: until the repetition's
    // response interval has passed and then the line has been quiet for one.
    Read();
    EXPECT_FALSE(SentWithin(190 + 199));
    EXPECT_TRUE(SentWithin(1));
}

TEST_F(Rhythm, BytesDuringThePauseBeforeARepetitionAreDropped)
{
    Read();
    device.Arrive({0x05, 0x12, 0x34, 0xAB, 0xCD, 0x00});  // bad checksum
    clock.Advance(100);
    device.Arrive(kAnswer);
    EXPECT_TRUE(reply.replies.empty());
    clock.Advance(100);
    EXPECT_EQ(device.writes.size(), 2u) << "the pause is the same 200 ms";
}

class QuietSetting : public Rhythm {
protected:
    QuietSetting() : Rhythm("[TR7100]\nRetryTimeout=200\nMaxNoOfRetries=0\nQuietInterval=350\n") {}
};

TEST_F(QuietSetting, TheQuietIntervalComesFromTheSettingsAndZeroWaitsForNothing)
{
    Read();
    clock.Advance(200);
    ASSERT_EQ(reply.replies.size(), 1u);
    Read();
    EXPECT_FALSE(SentWithin(349));
    EXPECT_TRUE(SentWithin(1));
    clock.Advance(200);

    adapter.link().setQuietInterval(0);
    Read();
    EXPECT_EQ(device.writes.size(), 3u) << "at once, as the line was before";
}

class Silence : public Rhythm {
protected:
    // 10 characters of 10 bits at 9600 baud: 11 ms.
    Silence() : Rhythm("[TR7100]\nBaudRate=9600\nRetryTimeout=200\nInterFrameSilence=10\n") {}
};

TEST_F(Silence, AfterACleanExchangeTheNextFrameWaitsForTheSilenceAndACopyMeanwhileIsDropped)
{
    Read();
    device.Arrive(kAnswer);
    ASSERT_EQ(reply.replies.size(), 1u);
    Read();
    EXPECT_FALSE(SentWithin(5));
    device.Arrive(kAnswer);  // the drive repeats itself
    EXPECT_EQ(reply.replies.size(), 1u);
    EXPECT_FALSE(SentWithin(10));
    EXPECT_TRUE(SentWithin(1));
    device.Arrive(kAnswer);
    EXPECT_EQ(reply.replies.size(), 2u);
}

TEST_F(Rhythm, ALineThatIsNeverQuietEndsEachRequestInBoundedTimeAndSaysSoOnce)
{
    Read();
    clock.Advance(200);
    clock.Advance(400);  // the repetition, and its time-out
    ASSERT_EQ(reply.replies.size(), 1u);
    // A byte every 50 ms from now on: the line is never quiet for 200 ms.
    for (int request = 0; request < 2; ++request) {
        Read();
        for (int t = 0; t < 2000 && reply.replies.size() == static_cast<size_t>(1 + request); t += 50) {
            device.Arrive({0x77});
            clock.Advance(50);
        }
        ASSERT_EQ(reply.replies.size(), static_cast<size_t>(2 + request)) << "ended within ten response intervals";
        EXPECT_EQ(reply.replies.back().status, 5);
    }
    EXPECT_EQ(device.writes.size(), 2u) << "nothing more went out on a busy line";
    ASSERT_EQ(notifier.states.size(), 1u);
    EXPECT_EQ(notifier.states[0], "line never quiet: COM1:: no pause of 200 ms in 2000 ms, the request fails");
    // Quiet again: the next request goes out.
    Read();
    EXPECT_TRUE(SentWithin(200));
    device.Arrive(kAnswer);
    EXPECT_EQ(reply.replies.back().status, 0);
}

}  // namespace
}  // namespace nalvexa::test
