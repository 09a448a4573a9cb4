// SPDX-License-Identifier: MIT
#include "server/allowed_clients.h"

#include <cctype>

namespace nalvexa {

namespace {

std::string Trim(const std::string& s)
{
    const size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

// A decimal number of at most `digits` digits, without a sign or a leading zero
// (so that "010" is never read as the octal it is elsewhere).
bool Decimal(const std::string& s, int digits, int& value)
{
    if (s.empty() || static_cast<int>(s.size()) > digits || (s.size() > 1 && s[0] == '0')) return false;
    value = 0;
    for (char c : s) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

bool ParseV4(const std::string& s, uint8_t* out)
{
    size_t at = 0;
    for (int part = 0; part < 4; ++part) {
        const size_t dot = part < 3 ? s.find('.', at) : s.size();
        int value = 0;
        if (dot == std::string::npos || !Decimal(s.substr(at, dot - at), 3, value) || value > 255) return false;
        out[part] = static_cast<uint8_t>(value);
        at = dot + 1;
    }
    return true;
}

// Groups of 1 to 4 hex digits separated by ':', the last perhaps an IPv4 address.
bool Groups(const std::string& s, std::vector<uint8_t>& bytes)
{
    if (s.empty()) return true;
    size_t at = 0;
    for (;;) {
        const size_t colon = s.find(':', at);
        const std::string group = s.substr(at, colon == std::string::npos ? std::string::npos : colon - at);
        if (colon == std::string::npos && group.find('.') != std::string::npos) {
            uint8_t v4[4];
            if (!ParseV4(group, v4)) return false;
            bytes.insert(bytes.end(), v4, v4 + 4);
            return true;
        }
        if (group.empty() || group.size() > 4) return false;
        unsigned value = 0;
        for (char c : group) {
            if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
            value = value * 16 + static_cast<unsigned>(std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : (std::tolower(c) - 'a' + 10));
        }
        bytes.push_back(static_cast<uint8_t>(value >> 8));
        bytes.push_back(static_cast<uint8_t>(value));
        if (colon == std::string::npos) return true;
        at = colon + 1;
    }
}

bool ParseV6(const std::string& s, IpAddress& out)
{
    const size_t gap = s.find("::");
    std::vector<uint8_t> head, tail;
    if (gap == std::string::npos) {
        if (!Groups(s, head) || head.size() != 16) return false;
    } else {
        if (s.find("::", gap + 1) != std::string::npos) return false;
        if (!Groups(s.substr(0, gap), head) || !Groups(s.substr(gap + 2), tail)) return false;
        if (head.size() + tail.size() > 14) return false;  // "::" stands for one group at least
    }
    out.fill(0);
    std::copy(head.begin(), head.end(), out.begin());
    std::copy(tail.begin(), tail.end(), out.end() - static_cast<long>(tail.size()));
    return true;
}

bool Matches(const IpAddress& a, const IpAddress& b, int prefix)
{
    for (int bit = 0; bit < prefix; bit += 8) {
        const int n = prefix - bit >= 8 ? 8 : prefix - bit;
        const uint8_t mask = static_cast<uint8_t>(0xFF00 >> n);
        if ((a[static_cast<size_t>(bit / 8)] & mask) != (b[static_cast<size_t>(bit / 8)] & mask)) return false;
    }
    return true;
}

}  // namespace

bool ParseIpAddress(const std::string& text, IpAddress& address, bool& isV4)
{
    isV4 = text.find(':') == std::string::npos;
    if (!isV4) return ParseV6(text, address);
    address.fill(0);
    address[10] = address[11] = 0xFF;
    return ParseV4(text, address.data() + 12);
}

bool AllowedClients::Parse(const std::string& list, std::string& error)
{
    ranges_.clear();
    nobody_ = false;
    size_t at = 0;
    while (at <= list.size()) {
        const size_t comma = std::min(list.find(',', at), list.size());
        const std::string entry = Trim(list.substr(at, comma - at));
        at = comma + 1;
        if (entry.empty()) continue;
        const size_t slash = entry.find('/');
        Range range{};
        bool v4 = false;
        int prefix = 0;
        const bool address = ParseIpAddress(Trim(entry.substr(0, slash)), range.address, v4);
        const bool bits = slash == std::string::npos || (Decimal(Trim(entry.substr(slash + 1)), 3, prefix) &&
                                                        prefix <= (v4 ? 32 : 128));
        if (!address || !bits) {
            error = "\"" + entry + "\" is not an address or an address/prefix";
            ranges_.clear();
            nobody_ = true;
            return false;
        }
        range.prefix = slash == std::string::npos ? 128 : (v4 ? 96 : 0) + prefix;
        ranges_.push_back(range);
    }
    return true;
}

bool AllowedClients::Admits(const std::string& peer) const
{
    if (everyone()) return true;
    std::string host;
    if (!peer.empty() && peer[0] == '[') {
        const size_t close = peer.find(']');
        if (close == std::string::npos) return false;
        host = peer.substr(1, close - 1);
    } else {
        host = peer.substr(0, peer.rfind(':'));
    }
    host = host.substr(0, host.find('%'));  // a link-local address's zone
    IpAddress address;
    bool v4 = false;
    if (!ParseIpAddress(host, address, v4)) return false;
    for (const Range& r : ranges_)
        if (Matches(address, r.address, r.prefix)) return true;
    return false;
}

}  // namespace nalvexa
