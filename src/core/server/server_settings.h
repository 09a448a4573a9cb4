// SPDX-License-Identifier: MIT
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
// "KeepAlive" (seconds before a silent client is probed, default 10) and
// "RequestTimeout" (seconds a begun request may take, default 30); 0: off.
int ReadKeepAlive(const IniFile& ini);
// "AllowedClients": who may connect, as AllowedClients reads it (empty: everyone).
std::string ReadAllowedClients(const IniFile& ini);
// "Adapter": the keyword text used when the command line gives none (empty: TR7100).
std::string ReadAdapterKeyword(const IniFile& ini);
int ReadRequestTimeout(const IniFile& ini);
// Opens the listener with the section's settings.
class ServerSockets;
void ApplyServerSettings(const IniFile& ini, ServerSockets& server);

}  // namespace nalvexa
