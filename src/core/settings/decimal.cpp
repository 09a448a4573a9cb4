// SPDX-License-Identifier: MIT
#include "settings/decimal.h"

#include <cctype>
#include <limits>

namespace nalvexa {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// Parses [sign]digits from text[i]; returns false when no digit was found.
bool ParseDigits(const std::string& text, size_t& i, int64_t& value)
{
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    size_t start = i;
    int64_t v = 0;
    constexpr int64_t kCap = int64_t{1} << 40;  // far beyond 32 bits; stops the growth
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
        if (v < kCap) v = v * 10 + (text[i] - '0');
        ++i;
    }
    value = negative ? -v : v;
    return i > start;
}

}  // namespace

int32_t ParseLeadingInt(const std::string& text)
{
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    int64_t v = 0;
    if (!ParseDigits(text, i, v)) return 0;
    if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
}

bool ParseUnsigned(const std::string& text, uint32_t& value)
{
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    if (i < text.size() && text[i] == '-') return false;
    int64_t v = 0;
    if (!ParseDigits(text, i, v)) return false;
    while (i < text.size() && IsBlank(text[i])) ++i;
    if (i != text.size() || v > std::numeric_limits<uint32_t>::max()) return false;
    value = static_cast<uint32_t>(v);
    return true;
}

bool ParseSigned(const std::string& text, int32_t& value)
{
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    int64_t v = 0;
    if (!ParseDigits(text, i, v)) return false;
    while (i < text.size() && IsBlank(text[i])) ++i;
    if (i != text.size() || v > std::numeric_limits<int32_t>::max() ||
        v < std::numeric_limits<int32_t>::min())
        return false;
    value = static_cast<int32_t>(v);
    return true;
}

}  // namespace nalvexa
