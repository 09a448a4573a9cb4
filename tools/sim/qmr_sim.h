// SPDX-License-Identifier: MIT
#pragma once

#include <map>

#include "sim_drive.h"

namespace nalvexa::sim {

// A QMR controller: length-prefixed frames with an 8-bit sum; reads and
// writes of indexed values (commands 0x01, 0x02) and of byte objects (0x11, 0x12).
class QmrSim : public SimDrive {
public:
    bool Option(const std::string& name, const std::string& value) override;
    bool Feed(uint8_t byte, std::vector<uint8_t>& request, std::vector<uint8_t>& answer) override;

private:
    std::vector<uint8_t> Answer(const std::vector<uint8_t>& request);

    std::map<uint32_t, std::vector<uint8_t>> values_;
    std::vector<uint8_t> frame_;
    int badSum_ = 0;
    int errorFlag_ = 0;
};

}  // namespace nalvexa::sim
