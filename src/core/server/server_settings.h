#pragma once

#include <cstdint>
#include <string>

#include "settings/ini_file.h"

namespace nalvexa {

// Section "SocketServer": the listening port, and the local address to
// listen on (empty: every local address).
uint32_t ReadSocketPort(const IniFile& ini);
void WriteSocketPort(IniFile& ini, uint32_t port);
std::string ReadBindAddress(const IniFile& ini);

}  // namespace nalvexa
