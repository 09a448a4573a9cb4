// SPDX-License-Identifier: MIT
#include "serial_line_device.h"

namespace nalvexa {

SerialOpenResult SerialLineDevice::open(const std::string& name, const SerialLineSettings& settings)
{
    close();
    const SerialOpenResult result = line_.Open(name, settings, openError_);
    if (!line_.isOpen()) return result;
    receiving_ = result == SerialOpenResult::Ok;
    StartReading();
    return result;
}

bool SerialLineDevice::close()
{
    StopReading();
    line_.Close();
    receiving_ = false;
    return true;
}

bool SerialLineDevice::write(const uint8_t* bytes, int count)
{
    std::string reason;
    if (line_.Write(bytes, static_cast<size_t>(count), reason)) return true;
    if (line_.isOpen() && reason != SerialLine::kFull) Lost(reason);
    return false;
}

void SerialLineDevice::Lost(const std::string& reason)
{
    close();
    Later([this, alive = std::weak_ptr<bool>(alive_), reason] {
        if (auto a = alive.lock(); a && *a && lost_) lost_(reason);
    });
}

}  // namespace nalvexa
