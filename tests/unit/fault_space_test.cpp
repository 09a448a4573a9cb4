// SPDX-License-Identifier: MIT
// The fault space of each adapter, explored on the manual clock: within the
// contract no request may get status 0 with data that is not its own, every
// request is answered once in bounded time, and no byte the client did not
// give goes out; beyond it, the same except that wrong data is counted.
// A failure prints its seed and events; NALVEXA_FAULT_SEED=N runs that seed alone.
#include <gtest/gtest.h>

#include <cstdlib>

#include "fault_space.h"

namespace nalvexa::test::faults {
namespace {

constexpr Protocol kSerial[] = {Protocol::Tr7100, Protocol::Qmr, Protocol::Lvt};

// Seeds 1..scenarios, or the one seed asked for.
Findings Sweep(Protocol protocol, Reach reach, int scenarios, long requests)
{
    Findings all;
    if (const char* one = std::getenv("NALVEXA_FAULT_SEED")) {
        all.Add(Explore(protocol, reach, std::strtoull(one, nullptr, 10), requests));
        return all;
    }
    for (int seed = 1; seed <= scenarios; ++seed) all.Add(Explore(protocol, reach, static_cast<uint64_t>(seed), requests));
    return all;
}

void ExpectNoViolation(const Findings& f, const char* what)
{
    std::string heads;
    for (const std::string& v : f.violations) heads += "  " + v.substr(0, v.find('\n')) + "\n";
    EXPECT_TRUE(f.violations.empty()) << what << ": " << f.violations.size() << " violations:\n"
                                      << heads << "the first in full:\n"
                                      << (f.violations.empty() ? "" : f.violations.front());
}

TEST(FaultSpace, WithinTheContractEveryStatusZeroCarriesTheRequestsOwnAnswer)
{
    for (Protocol p : kSerial) {
        Findings f = Sweep(p, Reach::Within, 60, 1500);
        std::printf("%s %s\n", Name(p), f.Summary().c_str());
        ExpectNoViolation(f, Name(p));
        EXPECT_GT(f.good, f.requests / 2) << Name(p) << ": most requests get through";
        EXPECT_GT(f.faults["late"], 1000) << Name(p);
    }
}

TEST(FaultSpace, CanWithinTheContractEveryStatusZeroCarriesTheRequestsOwnAnswer)
{
    Findings f = Sweep(Protocol::Can, Reach::Within, 40, 1500);
    std::printf("CAN %s\n", f.Summary().c_str());
    ExpectNoViolation(f, "CAN");
    EXPECT_GT(f.good, f.requests / 2);
    for (Reach reach : {Reach::LateBeyond, Reach::CopyBeyond}) {
        Findings beyond = Sweep(Protocol::Can, reach, 10, 1500);
        std::printf("CAN %s\n", beyond.Summary().c_str());
        ExpectNoViolation(beyond, "CAN");
    }
}

TEST(FaultSpace, BeyondTheContractEveryRequestStillEndsOnceAndSendsOnlyTheClientsBytes)
{
    for (Protocol p : kSerial) {
        for (Reach reach : {Reach::LateBeyond, Reach::CopyBeyond, Reach::NoQuiet, Reach::NoiseInside}) {
            Findings f = Sweep(p, reach, 15, 1500);
            std::printf("%s %s\n", Name(p), f.Summary().c_str());
            ExpectNoViolation(f, Name(p));
        }
    }
}

}  // namespace
}  // namespace nalvexa::test::faults
