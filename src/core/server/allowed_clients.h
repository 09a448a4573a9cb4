// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace nalvexa {

// An IPv6 address, or an IPv4 one as ::ffff:a.b.c.d.
using IpAddress = std::array<uint8_t, 16>;

// "192.0.2.7", "2001:db8::1", "::ffff:192.0.2.7"; false for anything else.
bool ParseIpAddress(const std::string& text, IpAddress& address, bool& isV4);

// Who may connect: a comma-separated list of addresses and ranges
// ("10.0.0.0/8, 192.0.2.7, 2001:db8::/32"). An empty list lets everyone in.
class AllowedClients {
public:
    // False, naming the entry, for a list that holds something else; such a
    // list lets nobody in.
    bool Parse(const std::string& list, std::string& error);
    bool everyone() const { return ranges_.empty() && !nobody_; }
    // `peer` as a listener names it: "address:port" or "[address]:port".
    bool Admits(const std::string& peer) const;

private:
    struct Range {
        IpAddress address;
        int prefix;  // leading bits that must match, of 128
    };
    std::vector<Range> ranges_;
    bool nobody_ = false;
};

}  // namespace nalvexa
