// SPDX-License-Identifier: MIT
#pragma once

#include <map>

#include "sim_drive.h"

namespace nalvexa::sim {

// A TR7100 drive: 3-byte reads and 6-byte writes of 16-bit parameters,
// answered with 6 bytes that echo the request.
class Tr7100Sim : public SimDrive {
public:
    bool Option(const std::string& name, const std::string& value) override;
    bool Feed(uint8_t byte, std::vector<uint8_t>& request, std::vector<uint8_t>& answer) override;
    std::vector<uint8_t> AfterAnswer() override;

private:
    std::map<uint16_t, uint16_t> values_;
    std::vector<uint8_t> frame_;
    int badEcho_ = 0;
    int badChecksum_ = 0;
    int streamBytes_ = 0;
};

}  // namespace nalvexa::sim
