// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <string>

#include "platform.h"
#include "stack/message.h"
#include "stack/retrying_link.h"

namespace nalvexa {

// The bottom node of every serial stack: writes the frames that reach it and
// delivers received bytes, in pieces, into the adapter's receive message. It
// knows when the line was last busy, whatever became of those bytes.
class SerialPort : public EndpointNode, public ILineActivity {
public:
    static constexpr int kReceiveBufferSize = 1000;

    SerialPort(ISerialDevice& device, IUserNotifier& notifier, const ITimerHost& clock);

    void Process(Message* message) override;  // writes the frame

    // Shows why it could not be opened (unless `quietly`); true when open.
    bool Open(bool quietly = false);
    // Told when the device goes away; the port is closed by then.
    void SetLostHandler(std::function<void(const std::string& reason)> handler) { onLost_ = std::move(handler); }
    // -1 when the port was not open; otherwise non-zero on success.
    int Close();
    bool IsOpen() const { return device_.isOpen(); }
    void WriteFrame(const Frame& frame);

    void SetReceiveMessage(Frame* frame) { receiveMessage_ = frame; }
    const std::string& portName() const { return portName_; }
    void setPortName(const std::string& name) { portName_ = name; }
    int baudRate() const { return line_.baudRate; }
    void setBaudRate(int rate) { line_.baudRate = rate; }
    uint8_t parity() const { return line_.parity; }
    void setParity(uint8_t parity) { line_.parity = parity; }
    uint8_t stopBits() const { return line_.stopBits; }
    void setStopBits(uint8_t stopBits) { line_.stopBits = stopBits; }
    int rtsControl() const { return line_.rtsControl; }
    void setRtsControl(int mode) { line_.rtsControl = mode; }
    int dtrControl() const { return line_.dtrControl; }
    void setDtrControl(int mode) { line_.dtrControl = mode; }
    // A request-and-answer line drops what arrives before a frame has gone
    // out completely (what is waiting when it is written, and what comes while
    // the device still transmits it): that cannot be its answer. A stream does not.
    void setDiscardBeforeWrite(bool on) { discardBeforeWrite_ = on; }
    // How long `bytes` take on the line with the current settings, rounded up.
    int TransmitMs(int bytes) const;
    int CharactersMs(int characters) const override { return TransmitMs(characters); }
    int64_t lastByteAt() const override { return lastByteAt_; }
    uint8_t suppressDelivery() const { return suppressDelivery_; }
    void setSuppressDelivery(uint8_t on) { suppressDelivery_ = on; }

    // Bytes from the device, on the loop's thread.
    void Deliver(const uint8_t* bytes, int count);

private:
    ISerialDevice& device_;
    IUserNotifier& notifier_;
    const ITimerHost& clock_;
    int64_t sendingUntil_ = 0;  // the frame written last is on the line until then
    int64_t lastByteAt_ = std::numeric_limits<int64_t>::min() / 2;  // none yet
    std::function<void(const std::string&)> onLost_;
    Frame* receiveMessage_ = nullptr;
    std::string portName_ = "COM1:";
    SerialLineSettings line_;
    uint8_t suppressDelivery_ = 0;
    bool discardBeforeWrite_ = true;
};

}  // namespace nalvexa
