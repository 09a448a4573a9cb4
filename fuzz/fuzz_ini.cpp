// SPDX-License-Identifier: MIT
// Any ini file: read with defaults, then written to.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "settings/decimal.h"
#include "settings/ini_file.h"

using namespace nalvexa;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = "/tmp/nalvexa-fuzz-" + std::to_string(::getpid()) + ".ini";
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    IniFile ini(path);
    for (const char* section : {"SocketServer", "TR7100", "CAN"}) {
        for (const char* key : {"SocketPort", "BaudRate", "Channel", "NodeIdentifier"}) {
            std::string v = ini.GetString(section, key, "d");
            if (v.size() > IniFile::kMaxValue) std::abort();
            ParseLeadingInt(v);
        }
    }
    std::string reason;
    const bool text = ini.Readable(reason);
    // What was written is read back; a file that is no text is never written over.
    if (ini.WriteString("TR7100", "SerialPort", "COM1:") != text) std::abort();
    if (text && ini.GetString("tr7100", "serialport", "") != "COM1:") std::abort();
    return 0;
}
