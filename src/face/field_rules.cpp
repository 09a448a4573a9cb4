// SPDX-License-Identifier: MIT
#include "field_rules.h"

#include <charconv>
#include <cstdio>

#include "settings/decimal.h"

namespace nalvexa {

namespace {

bool StartsWithPrefix(const std::string& t) { return t.size() >= 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X'); }

// All of `text` as a number in `base`, without a sign.
bool WholeUnsigned(const std::string& text, int base, uint64_t& value)
{
    if (text.empty() || text[0] == '+' || text[0] == '-') return false;
    const char* end = text.data() + text.size();
    auto [at, error] = std::from_chars(text.data(), end, value, base);
    return error == std::errc() && at == end;
}

}  // namespace

std::string Trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

Refusal ReadSigned(const std::string& text, int32_t& value)
{
    if (!ParseSigned(text, value)) return "Please enter an integer.";
    return {};
}

Refusal ReadUnsigned(const std::string& text, uint32_t& value)
{
    if (!ParseUnsigned(text, value)) return "Please enter a positive integer.";
    return {};
}

Refusal ReadRange(const std::string& text, int32_t low, int32_t high, int32_t& value)
{
    int32_t v = 0;
    if (!ParseSigned(text, v) || v < low || v > high)
        return "Please enter an integer between " + std::to_string(low) + " and " + std::to_string(high) + ".";
    value = v;
    return {};
}

Refusal ReadNodeId(const std::string& text, int32_t& value)
{
    int32_t v = 0;
    if (Refusal r = ReadRange(text, 0, 255, v)) return r;
    if (v > 127) return "Please enter an integer between 0 and 127.";
    value = v;
    return {};
}

Refusal ReadSerialNumber(const std::string& text, uint32_t& value)
{
    const std::string t = Trimmed(text);
    uint64_t v = 0;
    const bool ok = StartsWithPrefix(t) ? WholeUnsigned(t.substr(2), 16, v) : WholeUnsigned(t, 10, v);
    if (!ok || v > 0xFFFFFFFFull) return "Please enter a serial number from 0 to 4294967295 (or 0x0 to 0xFFFFFFFF).";
    value = static_cast<uint32_t>(v);
    return {};
}

bool ParsePortAddress(const std::string& text, uint32_t& value)
{
    const std::string t = Trimmed(text);
    uint64_t v = 0;
    if (t.size() > 4 || StartsWithPrefix(t) || !WholeUnsigned(t, 16, v)) return false;
    value = static_cast<uint32_t>(v);
    return true;
}

bool ParseWholeNumber(const std::string& text, int64_t& value)
{
    std::string t = Trimmed(text);
    const bool negative = !t.empty() && t[0] == '-';
    if (!t.empty() && (t[0] == '-' || t[0] == '+')) t.erase(0, 1);
    uint64_t v = 0;
    if (!WholeUnsigned(t, 10, v) || v > (negative ? 0x80000000ull : 0xFFFFFFFFull)) return false;
    value = negative ? -static_cast<int64_t>(v) : static_cast<int64_t>(v);
    return true;
}

std::string PortAddressText(uint32_t address)
{
    char text[16];
    std::snprintf(text, sizeof text, "%04X", address);
    return text;
}

}  // namespace nalvexa
