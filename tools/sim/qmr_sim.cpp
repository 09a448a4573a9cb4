// SPDX-License-Identifier: MIT
#include "qmr_sim.h"

#include "../common/hex.h"
#include "stack/sum8.h"

namespace nalvexa::sim {

namespace {

uint32_t IndexKey(uint8_t address, uint16_t index) { return uint32_t{address} << 24 | index; }
uint32_t ByteKey(uint8_t address, uint8_t sub, uint8_t index)
{
    return uint32_t{address} << 24 | 1u << 16 | uint32_t{sub} << 8 | index;
}

// "A/I=HEX" or "A/S/I=HEX", numbers as 12 or 0xC.
bool ParseSet(const std::string& value, bool byteForm, uint32_t& key, std::vector<uint8_t>& bytes)
{
    size_t eq = value.find('=');
    if (eq == std::string::npos || !FromHex(value.substr(eq + 1), bytes)) return false;
    std::vector<unsigned long> n;
    std::string ids = value.substr(0, eq);
    for (size_t start = 0;;) {
        size_t slash = ids.find('/', start);
        n.push_back(std::stoul(ids.substr(start, slash - start), nullptr, 0));
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    if (n.size() != (byteForm ? 3u : 2u)) return false;
    key = byteForm ? ByteKey(static_cast<uint8_t>(n[0]), static_cast<uint8_t>(n[1]), static_cast<uint8_t>(n[2]))
                   : IndexKey(static_cast<uint8_t>(n[0]), static_cast<uint16_t>(n[1]));
    return true;
}

}  // namespace

bool QmrSim::Option(const std::string& name, const std::string& value)
{
    if (name == "bad-sum") badSum_ = CountOption(value);
    else if (name == "error-flag") errorFlag_ = CountOption(value);
    else if (name == "set" || name == "set-byte") {
        uint32_t key;
        std::vector<uint8_t> bytes;
        if (!ParseSet(value, name == "set-byte", key, bytes)) return false;
        values_[key] = bytes;
    } else return false;
    return true;
}

bool QmrSim::Feed(uint8_t byte, std::vector<uint8_t>& request, std::vector<uint8_t>& answer)
{
    frame_.push_back(byte);
    if (frame_.size() < size_t{frame_[0]} + 1) return false;
    request = frame_;
    frame_.clear();
    answer.clear();
    if (request.size() < 4) return true;
    if (Sum8(request.data(), static_cast<int32_t>(request.size() - 1)) != request.back()) return true;
    answer = Answer(request);
    return true;
}

std::vector<uint8_t> QmrSim::Answer(const std::vector<uint8_t>& r)
{
    const uint8_t address = r[1], command = r[2];
    std::vector<uint8_t> params(r.begin() + 3, r.end() - 1);
    uint8_t flags = 0;
    std::vector<uint8_t> payload;
    auto fill = [&](uint32_t key, size_t n) {
        payload = values_.count(key) ? values_[key] : std::vector<uint8_t>{};
        payload.resize(n, 0);
    };
    if ((command == 0x01 || command == 0x02 || command == 0x11 || command == 0x12) && params.size() < 2) {
        flags = 0x04;
    } else if (command == 0x01 && params.size() == 3) {
        fill(IndexKey(address, static_cast<uint16_t>(params[0] | params[1] << 8)), params[2]);
    } else if (command == 0x02) {
        values_[IndexKey(address, static_cast<uint16_t>(params[0] | params[1] << 8))].assign(params.begin() + 2,
                                                                                            params.end());
    } else if (command == 0x11 && params.size() == 3) {
        fill(ByteKey(address, params[0], params[1]), params[2]);
    } else if (command == 0x12) {
        values_[ByteKey(address, params[0], params[1])].assign(params.begin() + 2, params.end());
    } else {
        flags = 0x04;  // a command it does not know
    }
    if (errorFlag_ > 0) {
        --errorFlag_;
        flags |= 0x04;
    }
    std::vector<uint8_t> a = {static_cast<uint8_t>(3 + payload.size() + 1), address, command, flags};
    for (uint8_t b : payload) a.push_back(b);
    a.push_back(Sum8(a.data(), static_cast<int32_t>(a.size())));
    if (badSum_ > 0) {
        --badSum_;
        a.back() = static_cast<uint8_t>(a.back() + 1);
    }
    return a;
}

}  // namespace nalvexa::sim
