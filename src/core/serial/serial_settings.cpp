// SPDX-License-Identifier: MIT
#include "serial/serial_settings.h"

namespace nalvexa {

void LoadSerialSettings(const IniFile& ini, ISerialAdapter& adapter, const char* maxRetriesDefault)
{
    adapter.SetPortName(ini.GetString(kSerialSection, "SerialPort", "COM1:"));
    adapter.SetBaudRate(ini.GetInt(kSerialSection, "BaudRate", "19200"));
    adapter.SetParity(static_cast<uint8_t>(ini.GetInt(kSerialSection, "Parity", "0")));
    adapter.SetStopBits(static_cast<uint8_t>(ini.GetInt(kSerialSection, "StopBits", "0")));
    adapter.SetRetryTimeout(ini.GetInt(kSerialSection, "RetryTimeout", "500"));
    adapter.SetMaxNoOfRetries(ini.GetInt(kSerialSection, "MaxNoOfRetries", maxRetriesDefault));
}

void SaveSerialSettings(IniFile& ini, const ISerialAdapter& adapter)
{
    ini.WriteString(kSerialSection, "SerialPort", adapter.GetPortName());
    ini.WriteInt(kSerialSection, "BaudRate", adapter.GetBaudRate());
    ini.WriteInt(kSerialSection, "Parity", adapter.GetParity());
    ini.WriteInt(kSerialSection, "StopBits", adapter.GetStopBits());
    ini.WriteInt(kSerialSection, "RetryTimeout", adapter.GetRetryTimeout());
    ini.WriteInt(kSerialSection, "MaxNoOfRetries", adapter.GetMaxNoOfRetries());
}

}  // namespace nalvexa

namespace nalvexa {

int PositionOfBaudRate(int rate)
{
    for (int i = 0; i < 15; ++i)
        if (kBaudRates[i] == rate) return i;
    return 6;
}

int BaudRateAtPosition(int position)
{
    return position >= 0 && position < 15 ? kBaudRates[position] : 9600;
}

}  // namespace nalvexa
