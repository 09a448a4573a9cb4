// SPDX-License-Identifier: MIT
#include "serial/serial_port.h"

#include "trace/trace.h"

#include <algorithm>
#include <cstring>

namespace nalvexa {

SerialPort::SerialPort(ISerialDevice& device, IUserNotifier& notifier, const ITimerHost& clock)
    : device_(device), notifier_(notifier), clock_(clock)
{
    device_.setBytesArrived([this](const uint8_t* bytes, int count) { Deliver(bytes, count); });
    device_.setDeviceLost([this](const std::string& reason) {
        if (onLost_) onLost_(reason);
    });
}

void SerialPort::Process(Message* message)
{
    WriteFrame(static_cast<const Frame&>(*message));
}

bool SerialPort::Open(bool quietly)
{
    // Opening an open port again would lose the device it has.
    if (device_.isOpen()) return true;
    const SerialOpenResult result = device_.open(portName_, line_);
    if (quietly) return device_.isOpen();
    // The fixed text first, then the system's reason.
    const std::string reason = device_.openError().empty() ? "" : ": " + device_.openError();
    switch (result) {
    case SerialOpenResult::Ok: break;
    case SerialOpenResult::OpenFailed:
        notifier_.message("Unable to open port " + device_.openError());
        break;
    case SerialOpenResult::QueueFailed: notifier_.message("Unable to call SetupComm" + reason); break;
    case SerialOpenResult::StateFailed: notifier_.message("Unable to call SetCommState" + reason); break;
    case SerialOpenResult::TimeoutsFailed: notifier_.message("Unable to call SetCommTimeouts" + reason); break;
    }
    return device_.isOpen();
}

int SerialPort::Close()
{
    if (!device_.isOpen()) return -1;
    return device_.close() ? 1 : 0;
}

void SerialPort::WriteFrame(const Frame& frame)
{
    int count = std::clamp(frame.count, 0, static_cast<int>(frame.bytes.size()));
    if (Trace::on()) Trace::Line("line > " + Trace::Hex(frame.bytes.data(), static_cast<size_t>(count)));
    if (discardBeforeWrite_ && device_.isOpen()) device_.discardInput();
    if (!device_.write(frame.bytes.data(), count)) {
        notifier_.message("Unable to call WriteFile");
        return;
    }
    if (const int unsent = device_.unsentBytes(); unsent > 0) sendingUntil_ = clock_.nowMs() + TransmitMs(unsent);
}

int SerialPort::TransmitMs(int bytes) const
{
    // A start bit, eight data bits, the parity bit, the stop bits (in halves).
    const int halfBits = 2 * (1 + 8 + (line_.parity != 0 ? 1 : 0)) + (line_.stopBits == 1 ? 3 : line_.stopBits == 2 ? 4 : 2);
    const int64_t baud = std::max(line_.baudRate, 1);
    const int64_t ms = (int64_t{std::max(bytes, 0)} * halfBits * 1000 + 2 * baud - 1) / (2 * baud);
    return static_cast<int>(std::min<int64_t>(ms, std::numeric_limits<int>::max()));
}

void SerialPort::Deliver(const uint8_t* bytes, int count)
{
    if (count > 0) lastByteAt_ = clock_.nowMs();
    if (!receiveMessage_) return;
    // Still sending the request: these bytes were on their way before it.
    const bool early = discardBeforeWrite_ && clock_.nowMs() < sendingUntil_;
    if (Trace::on())
        Trace::Line("line < " + Trace::Hex(bytes, static_cast<size_t>(count)) +
                    (early ? " (dropped: the request was still going out)"
                           : suppressDelivery_ == 1 ? " (dropped: delivery is off)" : ""));
    if (early) return;
    // Pieces larger than the receive buffer are delivered one buffer at a time.
    while (count > 0) {
        int piece = std::min(count, kReceiveBufferSize);
        receiveMessage_->stop = false;
        std::memcpy(receiveMessage_->bytes.data(), bytes, static_cast<size_t>(piece));
        receiveMessage_->count = piece;
        bytes += piece;
        count -= piece;
        if (suppressDelivery_ != 1 && neighbour) neighbour->Receive(receiveMessage_, this);
    }
}

}  // namespace nalvexa
