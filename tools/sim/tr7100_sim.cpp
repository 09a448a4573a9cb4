// SPDX-License-Identifier: MIT
#include "tr7100_sim.h"

namespace nalvexa::sim {

bool Tr7100Sim::Option(const std::string& name, const std::string& value)
{
    if (name == "bad-echo") badEcho_ = CountOption(value);
    else if (name == "bad-checksum") badChecksum_ = CountOption(value);
    else if (name == "stream") streamBytes_ = CountOption(value);
    else if (name == "set") {
        // PARAM=VALUE, both may be hex with 0x.
        size_t eq = value.find('=');
        if (eq == std::string::npos) return false;
        values_[static_cast<uint16_t>(std::stoul(value.substr(0, eq), nullptr, 0))] =
            static_cast<uint16_t>(std::stoul(value.substr(eq + 1), nullptr, 0));
    } else return false;
    return true;
}

bool Tr7100Sim::Feed(uint8_t byte, std::vector<uint8_t>& request, std::vector<uint8_t>& answer)
{
    frame_.push_back(byte);
    size_t size = (frame_[0] & 0x80) ? 6 : 3;
    if (frame_.size() < size) return false;
    request = frame_;
    frame_.clear();
    answer.clear();

    uint16_t param = static_cast<uint16_t>(request[1] << 8 | request[2]);
    if (size == 3) {
        uint16_t v = values_.count(param) ? values_[param] : 0;
        answer = {request[0], request[1], request[2], static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
        answer.push_back(static_cast<uint8_t>(answer[3] + answer[4]));
    } else {
        uint8_t sum = 0;
        for (int i = 0; i < 5; ++i) sum = static_cast<uint8_t>(sum + request[static_cast<size_t>(i)]);
        if (sum == request[5]) values_[param] = static_cast<uint16_t>(request[3] << 8 | request[4]);
        answer = request;
    }
    if (badEcho_ > 0) {
        --badEcho_;
        answer[2] ^= 0xFF;
        if (size == 3) answer[5] = static_cast<uint8_t>(answer[3] + answer[4]);
    } else if (badChecksum_ > 0) {
        --badChecksum_;
        answer[0] &= 0x7F;  // so the checksum is tested
        answer[5] = static_cast<uint8_t>(answer[3] + answer[4] + 1);
    }
    return true;
}

std::vector<uint8_t> Tr7100Sim::AfterAnswer()
{
    std::vector<uint8_t> data(static_cast<size_t>(streamBytes_ > 0 && streamBytes_ < (1 << 30) ? streamBytes_ : 0));
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i);
    return data;
}

}  // namespace nalvexa::sim
