// SPDX-License-Identifier: MIT
#pragma once

#include <string>

#include "platform.h"

namespace nalvexa {

// "COMn:" names the n-th serial port of the system; any other name is a device path.
std::string SerialDevicePath(const std::string& portName);

// An RS-232 device, raw and non-blocking: 8 data bits, the
// parity (mark and space too), one or two stop bits, no flow control, RTS
// and DTR as asked (where the device has them). Locked against a second user.
class SerialLine {
public:
    // Write's reason when the device takes nothing more for a while (it is not gone).
    static constexpr const char* kFull = "the device takes no more";

    SerialLine() = default;
    ~SerialLine() { Close(); }
    SerialLine(const SerialLine&) = delete;
    SerialLine& operator=(const SerialLine&) = delete;

    // `error` is "DEVICE: reason" for anything but Ok. On a refused line
    // setting the device stays open (as a port whose configuration failed).
    SerialOpenResult Open(const std::string& portName, const SerialLineSettings& settings, std::string& error);
    void Close();
    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    const std::string& path() const { return path_; }

    // Bytes read, 0 when none is waiting; -1 when the device has gone, with the reason.
    long Read(uint8_t* into, size_t max, std::string& reason);
    // As Read, but waits up to `timeoutMs` for the first byte.
    long ReadWait(uint8_t* into, size_t max, int timeoutMs, std::string& reason);
    // Waits briefly for room; false when the device has gone or stays full.
    bool Write(const uint8_t* bytes, size_t count, std::string& reason);
    // Written but not yet sent by the device.
    int Unsent() const;
    // Why reading failed with the system's `error` (0: the line ended), in the words of Read.
    std::string FailureReason(int error) const;
    // The line has hung up (its other end closed, the device gone).
    bool HungUp() const;
    void DiscardInput();
    // After reading all there was, before the loop watches the line again
    // (nothing to do here: the descriptor tells of new bytes by itself).
    bool ArmReadyWait(std::string&) { return true; }

private:
    int fd_ = -1;
    std::string path_;
    bool pseudo_ = false;  // a pseudo-terminal: nothing is ever waiting to go out
};

}  // namespace nalvexa
