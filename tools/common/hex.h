// SPDX-License-Identifier: MIT
// Hex text for the command-line tools: "05 12 34" out, "051234" or "05 12 34" in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace nalvexa {

inline std::string ToHex(const uint8_t* bytes, size_t count, const char* separator = " ")
{
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < count; ++i) {
        if (i > 0) out += separator;
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
    return out;
}

inline std::string ToHex(const std::vector<uint8_t>& bytes, const char* separator = " ")
{
    return ToHex(bytes.data(), bytes.size(), separator);
}

// False on anything but hex digit pairs (blanks, ':' and '-' between them allowed).
inline bool FromHex(const std::string& text, std::vector<uint8_t>& out)
{
    out.clear();
    int high = -1;
    for (char c : text) {
        int v;
        if (c >= '0' && c <= '9') v = c - '0';
        else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
        else if (c == ' ' || c == ':' || c == '-') {
            if (high >= 0) return false;
            continue;
        } else return false;
        if (high < 0) high = v;
        else {
            out.push_back(static_cast<uint8_t>(high * 16 + v));
            high = -1;
        }
    }
    return high < 0;
}

}  // namespace nalvexa
