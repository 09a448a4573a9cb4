// SPDX-License-Identifier: MIT
#include "server/server_settings.h"

#include <algorithm>

#include "server/server_sockets.h"

namespace nalvexa {

uint32_t ReadSocketPort(const IniFile& ini)
{
    return static_cast<uint32_t>(ini.GetInt("SocketServer", "SocketPort", "12001"));
}

void WriteSocketPort(IniFile& ini, uint32_t port)
{
    ini.WriteInt("SocketServer", "SocketPort", static_cast<int32_t>(port));
}

std::string ReadBindAddress(const IniFile& ini)
{
    return ini.GetString("SocketServer", "BindAddress", "");
}

std::string ReadAllowedClients(const IniFile& ini) { return ini.GetWhole("SocketServer", "AllowedClients", ""); }

std::string ReadAdapterKeyword(const IniFile& ini) { return ini.GetString("SocketServer", "Adapter", ""); }

int ReadKeepAlive(const IniFile& ini) { return std::max(ini.GetInt("SocketServer", "KeepAlive", "10"), 0); }

int ReadRequestTimeout(const IniFile& ini)
{
    // Kept below what a timer can count in milliseconds.
    return std::clamp(ini.GetInt("SocketServer", "RequestTimeout", "30"), 0, 2000000);
}

void ApplyServerSettings(const IniFile& ini, ServerSockets& server)
{
    server.SetBindAddress(ReadBindAddress(ini));
    server.SetClientLimits(ReadKeepAlive(ini), ReadRequestTimeout(ini));
}

}  // namespace nalvexa
