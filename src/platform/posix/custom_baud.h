// SPDX-License-Identifier: MIT
#pragma once

namespace nalvexa {

// Sets a line speed that has no Bnnn constant (14400, 56000, 128000 ...).
bool SetCustomBaudRate(int fd, int rate);

}  // namespace nalvexa
