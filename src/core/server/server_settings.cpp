#include "server/server_settings.h"

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

}  // namespace nalvexa
