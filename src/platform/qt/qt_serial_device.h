// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>
#include <string>

#include "platform.h"
#include "serial_line.h"

namespace nalvexa {

// The serial device on the Qt loop: a POSIX terminal line whose bytes are
// read as soon as they arrive and handed over in pieces of at most 1000.
class QtSerialDevice : public ISerialDevice {
public:
    QtSerialDevice();
    ~QtSerialDevice() override;
    SerialOpenResult open(const std::string& name, const SerialLineSettings& settings) override;
    bool close() override;
    bool isOpen() const override { return line_.isOpen(); }
    bool write(const uint8_t* bytes, int count) override;
    int unsentBytes() const override { return line_.Unsent(); }
    void setBytesArrived(BytesArrived handler) override { handler_ = std::move(handler); }
    void setDeviceLost(DeviceLost handler) override { lost_ = std::move(handler); }
    void discardInput() override { line_.DiscardInput(); }
    std::string openError() const override { return openError_; }

private:
    void OnReadable();
    void Lost(const std::string& reason);

    SerialLine line_;
    std::unique_ptr<QSocketNotifier> readable_;
    BytesArrived handler_;
    DeviceLost lost_;
    std::string openError_;
    bool receiving_ = false;  // false while open after a refused configuration
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace nalvexa
