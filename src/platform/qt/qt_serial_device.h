#pragma once

#include <QSerialPort>
#include <string>

#include "platform.h"

namespace nalvexa {

// "COMn:" names the n-th serial port of the system; any other name is a device path.
std::string SerialDevicePath(const std::string& portName);

class QtSerialDevice : public ISerialDevice {
public:
    QtSerialDevice();
    SerialOpenResult open(const std::string& name, const SerialLineSettings& settings) override;
    bool close() override;
    bool isOpen() const override { return port_.isOpen(); }
    bool write(const uint8_t* bytes, int count) override;
    int unsentBytes() const override;
    void setBytesArrived(BytesArrived handler) override { handler_ = std::move(handler); }
    void discardInput() override;

private:
    void OnReadyRead();

    QSerialPort port_;
    BytesArrived handler_;
    bool receiving_ = false;  // false while open after a refused configuration
};

}  // namespace nalvexa
