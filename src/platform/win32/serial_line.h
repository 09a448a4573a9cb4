// SPDX-License-Identifier: MIT
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>

#include "platform.h"

namespace nalvexa {

// "COMn:" (or "COMn") names the n-th serial port; "\\.\COMn" is taken as it is.
std::string SerialDevicePath(const std::string& portName);

// An RS-232 device on Windows, raw: 8 data bits, the parity (mark and space
// too), one, one and a half or two stop bits, no flow control, RTS and DTR
// as asked. Opened for overlapped I/O, so that the loop can wait for it; the
// calls here wait for their own I/O. Reads take what the device holds (as
// it reports), then wait for the next byte by the device's "character
// received" event: read time-outs differ too much between Windows and its
// emulations to rely on. Windows lets one program at a time open a port.
class SerialLine {
public:
    // Write's reason when the device takes nothing more for a while (it is not gone).
    static constexpr const char* kFull = "the device takes no more";

    SerialLine() = default;
    ~SerialLine();
    SerialLine(const SerialLine&) = delete;
    SerialLine& operator=(const SerialLine&) = delete;

    // `error` is "DEVICE: reason" for anything but Ok. On a refused line
    // setting the device stays open (as a port whose configuration failed).
    SerialOpenResult Open(const std::string& portName, const SerialLineSettings& settings, std::string& error);
    void Close();
    bool isOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
    const std::string& path() const { return path_; }

    // Bytes read, 0 when none is waiting; -1 when the device has gone, with the reason.
    long Read(uint8_t* into, size_t max, std::string& reason);
    // As Read, but waits up to `timeoutMs` for the first byte.
    long ReadWait(uint8_t* into, size_t max, int timeoutMs, std::string& reason);
    // Waits up to a second for the device to take the bytes.
    bool Write(const uint8_t* bytes, size_t count, std::string& reason);
    // Written but not yet sent by the device.
    int Unsent() const;
    void DiscardInput();
    // Why I/O failed with the system's `error` (0: the line ended).
    std::string FailureReason(int error) const;
    // The device has gone (unplugged, its driver gone).
    bool HungUp() const;

    // For the loop: as Read, with the system's error code on failure.
    long ReadAvailable(uint8_t* into, size_t max, DWORD& error);
    // Starts waiting for the next byte; the event of RxEvent is signalled when
    // it comes (or at once, when one has). False with the error when the device has gone.
    bool ArmRxWait(DWORD& error);
    // A handle of the event the wait signals, for the loop; the caller owns it.
    HANDLE DuplicateRxEvent() const;
    // After reading all there was, before the loop watches the event again.
    bool ArmReadyWait(std::string& reason)
    {
        DWORD error = 0;
        if (ArmRxWait(error)) return true;
        reason = FailureReason(static_cast<int>(error));
        return false;
    }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    std::string path_;
    OVERLAPPED rxWait_{};  // the pending wait for the next byte
    DWORD rxMask_ = 0;
    bool rxPending_ = false;
};

}  // namespace nalvexa
