// SPDX-License-Identifier: MIT
#pragma once

#include <asio/io_context.hpp>
#include <memory>

#include "serial_line_device.h"

namespace nalvexa {

// The serial device on an Asio loop: the system's serial line, read by the
// loop as soon as bytes arrive and handed over in pieces of at most 1000.
class AsioSerialDevice : public SerialLineDevice {
public:
    explicit AsioSerialDevice(asio::io_context& io);
    ~AsioSerialDevice() override;

protected:
    void StartReading() override;
    void StopReading() override;
    void Later(std::function<void()> task) override;

private:
    class Reader;  // the loop's reads of the line, per system
    void ReadNext();
    void Arrived(const std::error_code& error, size_t count);

    asio::io_context& io_;
    std::unique_ptr<Reader> reader_;
    uint8_t buffer_[1000];
    uint64_t opened_ = 0;  // which opening a read belongs to
};

}  // namespace nalvexa
