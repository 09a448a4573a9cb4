#pragma once

#include "server/adapter_interfaces.h"
#include "settings/ini_file.h"

namespace nalvexa {

// The section the three serial adapters share.
inline constexpr const char* kSerialSection = "TR7100";

// Reads the six keys in their order and applies each at once.
void LoadSerialSettings(const IniFile& ini, ISerialAdapter& adapter, const char* maxRetriesDefault);
void SaveSerialSettings(IniFile& ini, const ISerialAdapter& adapter);

}  // namespace nalvexa
