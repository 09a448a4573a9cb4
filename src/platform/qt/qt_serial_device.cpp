// SPDX-License-Identifier: MIT
#include "qt_serial_device.h"

#include <QTimer>

namespace nalvexa {

QtSerialDevice::QtSerialDevice() = default;

QtSerialDevice::~QtSerialDevice()
{
    *alive_ = false;
    close();
}

SerialOpenResult QtSerialDevice::open(const std::string& name, const SerialLineSettings& settings)
{
    close();
    const SerialOpenResult result = line_.Open(name, settings, openError_);
    if (!line_.isOpen()) return result;
    receiving_ = result == SerialOpenResult::Ok;
    readable_ = std::make_unique<QSocketNotifier>(line_.fd(), QSocketNotifier::Read);
    QObject::connect(readable_.get(), &QSocketNotifier::activated, [this] { OnReadable(); });
    return result;
}

bool QtSerialDevice::close()
{
    readable_.reset();
    line_.Close();
    receiving_ = false;
    return true;
}

bool QtSerialDevice::write(const uint8_t* bytes, int count)
{
    std::string reason;
    if (line_.Write(bytes, static_cast<size_t>(count), reason)) return true;
    if (line_.isOpen() && reason != SerialLine::kFull) Lost(reason);
    return false;
}

void QtSerialDevice::OnReadable()
{
    uint8_t buffer[1000];
    for (int rounds = 0; rounds < 64 && line_.isOpen(); ++rounds) {
        std::string reason;
        long n = line_.Read(buffer, sizeof buffer, reason);
        if (n < 0) {
            Lost(reason);
            return;
        }
        if (n == 0) return;
        if (receiving_ && handler_) handler_(buffer, static_cast<int>(n));
    }
}

void QtSerialDevice::Lost(const std::string& reason)
{
    close();
    // Later, on the loop: this may come from inside a write of ours.
    std::weak_ptr<bool> alive = alive_;
    QTimer::singleShot(0, [this, alive, reason] {
        if (auto a = alive.lock(); a && *a && lost_) lost_(reason);
    });
}

}  // namespace nalvexa
