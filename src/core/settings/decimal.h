// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

namespace nalvexa {

// A leading decimal integer: blanks skipped, an optional sign, the digits up
// to the first other character; 0 when there are none. Values beyond the
// 32-bit range are held at its ends.
int32_t ParseLeadingInt(const std::string& text);

// A whole unsigned decimal number, as an edit field takes it.
bool ParseUnsigned(const std::string& text, uint32_t& value);
// A whole signed decimal number.
bool ParseSigned(const std::string& text, int32_t& value);

}  // namespace nalvexa
