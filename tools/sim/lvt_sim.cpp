// SPDX-License-Identifier: MIT
#include "lvt_sim.h"

namespace nalvexa::sim {

bool LvtSim::Option(const std::string& name, const std::string& value)
{
    if (name == "bad-crc") badCrc_ = CountOption(value);
    else if (name == "status") status_ = std::stoi(value, nullptr, 0);
    else if (name == "object") {
        // O/SIZE/COUNT: element j starts as j + 1.
        size_t a = value.find('/'), b = value.find('/', a + 1);
        if (a == std::string::npos || b == std::string::npos) return false;
        Object o;
        o.elementSize = std::stoi(value.substr(a + 1, b - a - 1));
        if (o.elementSize != 1 && o.elementSize != 2 && o.elementSize != 4) return false;
        size_t count = std::stoul(value.substr(b + 1), nullptr, 0);
        for (size_t j = 0; j < count; ++j) o.elements.push_back(static_cast<uint32_t>(j + 1));
        objects_[static_cast<uint16_t>(std::stoul(value.substr(0, a), nullptr, 0))] = o;
    } else return false;
    return true;
}

bool LvtSim::Feed(uint8_t byte, std::vector<uint8_t>& request, std::vector<uint8_t>& answer)
{
    frame_.push_back(byte);
    if (frame_.size() < size_t{frame_[0]} + 1) return false;
    request = frame_;
    frame_.clear();
    answer.clear();
    if (request.size() < 9 || crc_.Compute(request.data(), request.size()) != 0) return true;
    answer = Answer(std::vector<uint8_t>(request.begin() + 1, request.end() - 2));
    return true;
}

std::vector<uint8_t> LvtSim::Answer(const std::vector<uint8_t>& p)
{
    const uint16_t number = static_cast<uint16_t>(p[0] << 8 | p[1]);
    const uint32_t offset = uint32_t{p[2]} << 16 | uint32_t{p[3]} << 8 | p[4];
    const uint32_t count = p[5];
    std::vector<uint8_t> reply = {p[0], p[1], p[2], p[3], p[4], 0};
    auto found = objects_.find(number);
    if (status_ != 0) {
        reply[5] = static_cast<uint8_t>(status_);
    } else if (found == objects_.end()) {
        reply[5] = kNoSuchObject;
    } else if (offset + count > found->second.elements.size()) {
        reply[5] = kOutOfRange;
    } else {
        Object& o = found->second;
        const size_t e = static_cast<size_t>(o.elementSize);
        if (p.size() == 6) {
            for (uint32_t j = 0; j < count; ++j)
                for (size_t b = e; b-- > 0;) reply.push_back(static_cast<uint8_t>(o.elements[offset + j] >> (8 * b)));
        } else if (p.size() == 6 + count * e) {
            for (uint32_t j = 0; j < count; ++j) {
                uint32_t v = 0;
                for (size_t b = 0; b < e; ++b) v = v << 8 | p[6 + j * e + b];
                o.elements[offset + j] = v;
            }
        } else {
            reply[5] = kOutOfRange;
        }
    }
    std::vector<uint8_t> framed = Frame(reply);
    if (badCrc_ > 0) {
        --badCrc_;
        framed.back() ^= 0x01;
    }
    return framed;
}

std::vector<uint8_t> LvtSim::Frame(std::vector<uint8_t> payload) const
{
    payload.insert(payload.begin(), static_cast<uint8_t>(payload.size() + 2));
    uint16_t c = crc_.Compute(payload.data(), payload.size());
    payload.push_back(static_cast<uint8_t>(c >> 8));
    payload.push_back(static_cast<uint8_t>(c));
    return payload;
}

}  // namespace nalvexa::sim
