// SPDX-License-Identifier: MIT
// What the dialogs' number fields accept, with the texts that refuse the
// rest. Each Read returns the refusal's text, or nothing with the value read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace nalvexa {

using Refusal = std::optional<std::string>;

Refusal ReadSigned(const std::string& text, int32_t& value);
Refusal ReadUnsigned(const std::string& text, uint32_t& value);
// A whole number from `low` to `high`.
Refusal ReadRange(const std::string& text, int32_t low, int32_t high, int32_t& value);
// A node-ID: first a byte ("between 0 and 255"), then 0 to 127.
Refusal ReadNodeId(const std::string& text, int32_t& value);
// A 32-bit serial number, decimal or 0x-hexadecimal.
Refusal ReadSerialNumber(const std::string& text, uint32_t& value);
// A port address: one to four hexadecimal digits, without a prefix.
bool ParsePortAddress(const std::string& text, uint32_t& value);
// Text that is a whole number (blanks around it allowed), as the value it holds.
bool ParseWholeNumber(const std::string& text, int64_t& value);
std::string Trimmed(const std::string& text);
// "0378": four upper-case hexadecimal digits.
std::string PortAddressText(uint32_t address);

}  // namespace nalvexa
