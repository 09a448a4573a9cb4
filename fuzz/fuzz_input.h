// SPDX-License-Identifier: MIT
// Reads a fuzzer's bytes as a sequence of small decisions and pieces.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace nalvexa::fuzz {

class Input {
public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool empty() const { return at_ >= size_; }
    uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    uint32_t Word()
    {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = v << 8 | Byte();
        return v;
    }
    // Up to `max` of the next bytes.
    std::vector<uint8_t> Piece(size_t max)
    {
        size_t n = std::min(max, size_ - std::min(at_, size_));
        std::vector<uint8_t> piece(data_ + at_, data_ + at_ + n);
        at_ += n;
        return piece;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

}  // namespace nalvexa::fuzz
