// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace nalvexa::sim {

// A simulated drive: it is fed the bytes that arrive on its line and says
// what it sends back.
class SimDrive {
public:
    virtual ~SimDrive() = default;
    // Takes one option it knows; false for an option it does not.
    virtual bool Option(const std::string& name, const std::string& value) = 0;
    // Called with each byte; a whole request frame fills `request` and
    // `answer` (empty for no answer) and returns true.
    virtual bool Feed(uint8_t byte, std::vector<uint8_t>& request, std::vector<uint8_t>& answer) = 0;
    // Bytes sent unasked after an answer (stream data).
    virtual std::vector<uint8_t> AfterAnswer() { return {}; }
};

// "--name" gives an empty value, "--name=v" gives v.
inline int CountOption(const std::string& value)
{
    return value.empty() ? 1 << 30 : std::stoi(value);
}

}  // namespace nalvexa::sim
