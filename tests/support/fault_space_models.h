// SPDX-License-Identifier: MIT
// The model drives of the fault-space exploration: each makes the client's
// next request, knows exactly which frames may go out for it and what its
// answer must be, and answers the frames it hears from a store whose values
// change between requests, so that an answer taken for the wrong request
// shows as wrong data.
#pragma once

#include <cstdint>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "fakes.h"
#include "platform.h"
#include "fault_space.h"
#include "server/driver_request.h"

namespace nalvexa::test::faults {

using Rng = std::mt19937_64;

inline int Uniform(Rng& rng, int lo, int hi)  // both included
{
    return hi <= lo ? lo : lo + static_cast<int>(rng() % static_cast<uint64_t>(hi - lo + 1));
}
inline bool Chance(Rng& rng, int percent) { return static_cast<int>(rng() % 100) < percent; }

struct Settings {
    int response = 500;     // RetryTimeout
    int repetitions = 0;    // MaxNoOfRetries
    int quietSetting = -1;  // QuietInterval as written
    int quiet = 500;        // the quiet interval in effect
    int silenceChars = 0;   // InterFrameSilence
    int silenceMs = 0;
    int baud = 19200;
};

// What a request must get.
struct Expect {
    std::string what;           // for the report
    Bytes data;                 // a read's answer, the first bytes of its data
    std::vector<Bytes> frames;  // every frame that may go out for it, exactly
    bool refused = false;       // status 1 at once, nothing sent
};

// The settings file, in memory.
class MemoryFiles : public ITextFiles {
public:
    explicit MemoryFiles(std::string text = "") : text_(std::move(text)) {}
    ReadResult read(const std::string&, std::string& text, std::string&) const override
    {
        text = text_;
        return ReadResult::Ok;
    }
    bool replace(const std::string&, const std::string& text, std::string&) override
    {
        text_ = text;
        return true;
    }

private:
    std::string text_;
};

class Model {
public:
    virtual ~Model() = default;
    // Fills the request record (which keeps what earlier requests left in
    // it) and changes the store so that a stale answer differs.
    virtual Expect Next(Rng& rng, DriverRequest& request, IRequestReply* sink) = 0;
    // The drive's answer to a frame it heard (writes take effect); empty: none.
    virtual Bytes Answer(const Bytes& frame) = 0;
    virtual std::set<int> FailureStatuses() const = 0;
};

std::unique_ptr<Model> MakeModel(Protocol protocol, const Settings& settings);
Findings ExploreCan(Reach reach, uint64_t seed, long requests);

}  // namespace nalvexa::test::faults
