// SPDX-License-Identifier: MIT
// The fault space, explored on the manual clock: an adapter against a model
// drive, random requests that repeat the same shape with new values, and
// faults on the line drawn from a small grammar (late by any amount, split at
// any byte, sent twice, corrupted, silent, stray bytes, a line never quiet).
// Every request must be answered exactly once within a bounded time; status 0
// only with exactly the model's answer to that request; no byte on the line
// that the client did not give. Faults beyond what the driver promises to
// tell apart are explored too, and what they do is counted, not required.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace nalvexa::test::faults {

enum class Protocol { Tr7100, Qmr, Lvt, Can };
const char* Name(Protocol protocol);

// Where the faults of one scenario lie.
enum class Reach {
    Within,       // every fault inside the contract
    LateBeyond,   // also answers later than the response and quiet intervals together
    CopyBeyond,   // also copies that come after the inter-frame silence
    NoQuiet,      // QuietInterval 0: no wait after a time-out, late answers
    NoiseInside,  // also stray bytes between the pieces of an answer
};
const char* Name(Reach reach);

struct Findings {
    long requests = 0;
    long good = 0;  // status 0, right
    std::map<int, long> statuses;
    std::map<std::string, long> faults;     // answers that met each kind of fault
    std::map<std::string, long> lateness;   // answers by how late they came
    std::map<std::string, long> wrong;      // status 0 with wrong data, by the reach of the scenario
    std::map<std::string, long> requestsBy;  // requests by the reach of the scenario
    // Within the contract: what went wrong, with the seed and the events before it.
    std::vector<std::string> violations;

    void Add(const Findings& other);
    std::string Summary() const;
};

// One scenario: settings and faults drawn from `seed`, `requests` requests.
Findings Explore(Protocol protocol, Reach reach, uint64_t seed, long requests);

}  // namespace nalvexa::test::faults
