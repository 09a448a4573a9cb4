// SPDX-License-Identifier: MIT
#include "qt_serial_device.h"

#include <QTimer>

namespace nalvexa {

QtSerialDevice::~QtSerialDevice()
{
    Ending();
    close();
}

void QtSerialDevice::StartReading()
{
    readable_ = std::make_unique<QSocketNotifier>(line_.fd(), QSocketNotifier::Read);
    QObject::connect(readable_.get(), &QSocketNotifier::activated, [this] { OnReadable(); });
}

void QtSerialDevice::Later(std::function<void()> task) { QTimer::singleShot(0, std::move(task)); }

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
        Deliver(buffer, static_cast<int>(n));
    }
}

}  // namespace nalvexa
