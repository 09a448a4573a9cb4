// SPDX-License-Identifier: MIT
#pragma once

#include <map>

#include "adapters/lvt/lvt_crc.h"
#include "sim_drive.h"

namespace nalvexa::sim {

// An LVT controller: CRC-16 framed requests for ranges of elements of its
// objects, each element sent high byte first.
class LvtSim : public SimDrive {
public:
    static constexpr uint8_t kNoSuchObject = 6;
    static constexpr uint8_t kOutOfRange = 7;

    bool Option(const std::string& name, const std::string& value) override;
    bool Feed(uint8_t byte, std::vector<uint8_t>& request, std::vector<uint8_t>& answer) override;

private:
    struct Object {
        int elementSize = 2;
        std::vector<uint32_t> elements;
    };
    std::vector<uint8_t> Answer(const std::vector<uint8_t>& payload);
    std::vector<uint8_t> Frame(std::vector<uint8_t> payload) const;

    LvtCrc16 crc_;
    std::map<uint16_t, Object> objects_;
    std::vector<uint8_t> frame_;
    int badCrc_ = 0;
    int status_ = 0;
};

}  // namespace nalvexa::sim
