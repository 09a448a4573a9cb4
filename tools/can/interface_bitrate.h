// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace nalvexa::cantool {

// The bit rate a SocketCAN interface is set to, in bit/s, as `ip -details
// -json link show` gives it; 0 when it cannot be read (a virtual interface,
// no ip command, no such interface).
long InterfaceBitRate(const std::string& interfaceName);

// Where the rate is in that command's output; 0 when it is not.
long BitRateFromIpJson(const std::string& json);

}  // namespace nalvexa::cantool
