// SPDX-License-Identifier: MIT
#pragma once

#include "server/adapter_interfaces.h"
#include "settings/ini_file.h"

namespace nalvexa {

// The section the three serial adapters share.
inline constexpr const char* kSerialSection = "TR7100";

// Reads the six keys in their order and applies each at once.
void LoadSerialSettings(const IniFile& ini, ISerialAdapter& adapter, const char* maxRetriesDefault);
void SaveSerialSettings(IniFile& ini, const ISerialAdapter& adapter);

// The baud-rate list of the serial port dialog, both ways: a rate not in it
// shows as 9600 (position 6), a position outside it is 9600.
inline constexpr int kBaudRates[15] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                       19200, 38400, 56000, 57600, 115200, 128000, 256000};
int PositionOfBaudRate(int rate);
int BaudRateAtPosition(int position);

}  // namespace nalvexa
