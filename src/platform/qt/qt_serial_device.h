// SPDX-License-Identifier: MIT
#pragma once

#include <QSocketNotifier>
#include <memory>

#include "serial_line_device.h"

namespace nalvexa {

// The serial device on the Qt loop: a POSIX terminal line whose bytes are
// read as soon as they arrive and handed over in pieces of at most 1000.
class QtSerialDevice : public SerialLineDevice {
public:
    QtSerialDevice() = default;
    ~QtSerialDevice() override;

protected:
    void StartReading() override;
    void StopReading() override { readable_.reset(); }
    void Later(std::function<void()> task) override;

private:
    void OnReadable();

    std::unique_ptr<QSocketNotifier> readable_;
};

}  // namespace nalvexa
