// SPDX-License-Identifier: MIT
#pragma once

#include <asio/io_context.hpp>
#include <memory>
#include <string>

#include "platform.h"
#include "serial_line.h"

namespace nalvexa {

// The serial device on an Asio loop: the system's serial line, read by the
// loop as soon as bytes arrive and handed over in pieces of at most 1000.
class AsioSerialDevice : public ISerialDevice {
public:
    explicit AsioSerialDevice(asio::io_context& io);
    ~AsioSerialDevice() override;
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
    class Reader;  // the loop's reads of the line, per system
    void ReadNext();
    void Arrived(const std::error_code& error, size_t count);
    void Lost(const std::string& reason);

    asio::io_context& io_;
    SerialLine line_;
    std::unique_ptr<Reader> reader_;
    uint8_t buffer_[1000];
    BytesArrived handler_;
    DeviceLost lost_;
    std::string openError_;
    bool receiving_ = false;  // false while open after a refused configuration
    uint64_t opened_ = 0;     // which opening a read belongs to
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace nalvexa
