// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform.h"
#include "serial_line.h"

namespace nalvexa {

// The serial device of the core on this system's serial line: opening,
// closing, writing and losing the line are the same on every loop; how the
// loop waits for bytes and runs deferred work is the loop's.
class SerialLineDevice : public ISerialDevice {
public:
    SerialOpenResult open(const std::string& name, const SerialLineSettings& settings) override;
    bool close() override;
    bool isOpen() const override { return line_.isOpen(); }
    bool write(const uint8_t* bytes, int count) override;
    int unsentBytes() const override { return line_.Unsent(); }
    void setBytesArrived(BytesArrived handler) override { handler_ = std::move(handler); }
    void setDeviceLost(DeviceLost handler) override { lost_ = std::move(handler); }
    void discardInput() override { line_.DiscardInput(); }
    std::string openError() const override { return openError_; }

protected:
    // The loop starts watching the open line, or stops.
    virtual void StartReading() = 0;
    virtual void StopReading() = 0;
    // Runs `task` on the loop after the current event.
    virtual void Later(std::function<void()> task) = 0;

    // Bytes read: to the core, unless the line's configuration was refused.
    void Deliver(const uint8_t* bytes, int count)
    {
        if (receiving_ && handler_) handler_(bytes, count);
    }
    // Closes the line, and tells the core later (this may come from inside a write of its own).
    void Lost(const std::string& reason);
    // For the derived destructor, before it closes: deferred reports of a gone device are dropped.
    void Ending() { *alive_ = false; }

    SerialLine line_;
    // False once the device is being destroyed: what the loop still holds for it must not run.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);

private:
    BytesArrived handler_;
    DeviceLost lost_;
    std::string openError_;
    bool receiving_ = false;  // false while open after a refused configuration
};

}  // namespace nalvexa
