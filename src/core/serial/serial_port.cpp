#include "serial/serial_port.h"

#include <algorithm>
#include <cstring>

namespace nalvexa {

SerialPort::SerialPort(ISerialDevice& device, IUserNotifier& notifier) : device_(device), notifier_(notifier)
{
    device_.setBytesArrived([this](const uint8_t* bytes, int count) { Deliver(bytes, count); });
}

void SerialPort::Process(Message* message)
{
    WriteFrame(static_cast<const Frame&>(*message));
}

void SerialPort::Open()
{
    // Opening an open port again would lose the device it has.
    if (device_.isOpen()) return;
    switch (device_.open(portName_, line_)) {
    case SerialOpenResult::Ok: break;
    case SerialOpenResult::OpenFailed: notifier_.message("Unable to open port"); break;
    case SerialOpenResult::QueueFailed: notifier_.message("Unable to call SetupComm"); break;
    case SerialOpenResult::StateFailed: notifier_.message("Unable to call SetCommState"); break;
    case SerialOpenResult::TimeoutsFailed: notifier_.message("Unable to call SetCommTimeouts"); break;
    }
}

int SerialPort::Close()
{
    if (!device_.isOpen()) return -1;
    return device_.close() ? 1 : 0;
}

void SerialPort::WriteFrame(const Frame& frame)
{
    int count = std::clamp(frame.count, 0, static_cast<int>(frame.bytes.size()));
    if (discardBeforeWrite_ && device_.isOpen()) device_.discardInput();
    if (!device_.write(frame.bytes.data(), count)) notifier_.message("Unable to call WriteFile");
}

void SerialPort::Deliver(const uint8_t* bytes, int count)
{
    if (!receiveMessage_) return;
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
