// SPDX-License-Identifier: MIT
// The unit suite's fault-space exploration, long: scenario after scenario
// (seeds from 1) until each adapter has met REQUESTS requests within the
// contract, and a sixteenth as many in each reach beyond it. Prints what was explored
// and every violation with its seed (replay one in the unit suite with
// NALVEXA_FAULT_SEED=N).
//   fault_space [REQUESTS_PER_ADAPTER] [REQUESTS_PER_SCENARIO]
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "fault_space.h"

using namespace nalvexa::test::faults;

int main(int argc, char** argv)
{
    const long total = argc > 1 ? std::atol(argv[1]) : 3400000;
    const long perScenario = argc > 2 ? std::atol(argv[2]) : 5000;
    const auto start = std::chrono::steady_clock::now();
    long violations = 0, requests = 0;
    for (Protocol p : {Protocol::Tr7100, Protocol::Qmr, Protocol::Lvt, Protocol::Can}) {
        for (Reach reach : {Reach::Within, Reach::LateBeyond, Reach::CopyBeyond, Reach::NoQuiet, Reach::NoiseInside}) {
            // A CAN answer carries no line timing to get wrong: its faults are lateness and copies.
            if (p == Protocol::Can && (reach == Reach::NoQuiet || reach == Reach::NoiseInside)) continue;
            const long want = reach == Reach::Within ? total : total / 16;
            Findings f;
            for (uint64_t seed = 1; f.requests < want; ++seed) f.Add(Explore(p, reach, seed, perScenario));
            std::printf("%s, %s: %s", Name(p), Name(reach), f.Summary().c_str());
            for (const std::string& v : f.violations) std::printf("%s\n", v.c_str());
            std::fflush(stdout);
            violations += static_cast<long>(f.violations.size());
            requests += f.requests;
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("all: %ld requests in %.0f s, %ld violations within the contract\n", requests, seconds, violations);
    return violations == 0 ? 0 : 1;
}
