// SPDX-License-Identifier: MIT
#include "serial_dialogs.h"

#include <algorithm>
#include <climits>

#include "field_rules.h"
#include "serial/serial_settings.h"

namespace nalvexa {

TimeoutSettingsLogic::TimeoutSettingsLogic(IEngine& engine, IDialogHost& host, const SerialState& serial)
    : retryTimeoutText(std::to_string(static_cast<uint32_t>(serial.retryTimeout))),
      retriesText(std::to_string(serial.retries)), engine_(engine), host_(host)
{
}

bool TimeoutSettingsLogic::Ok()
{
    uint32_t timeout = 0;
    int32_t retries = 0;
    Refusal r = ReadUnsigned(retryTimeoutText, timeout);
    if (!r && timeout > INT32_MAX) r = "Please enter a positive integer.";
    if (r) {
        refused_ = kRetryTimeout;
        host_.Say(*r);
        return false;
    }
    if ((r = ReadSigned(retriesText, retries))) {
        refused_ = kRetries;
        host_.Say(*r);
        return false;
    }
    refused_ = kNone;
    engine_.SetTimeouts(static_cast<int32_t>(timeout), retries);
    return true;
}

const std::vector<std::string> SerialPortLogic::kParityNames = {"None", "Odd", "Even", "Mark", "Space"};
const std::vector<std::string> SerialPortLogic::kStopBitNames = {"1", "1.5", "2"};

SerialPortLogic::SerialPortLogic(IEngine& engine, const SerialState& serial, std::vector<std::string> systemPorts)
    : engine_(engine), ports_(std::move(systemPorts)), open_(serial.portOpen)
{
    const std::string current = serial.line.portName.value_or("");
    if (!current.empty() && std::find(ports_.begin(), ports_.end(), current) == ports_.end()) ports_.push_back(current);
    // The stored name selects the first entry that begins with it.
    for (int i = 0; i < static_cast<int>(ports_.size()) && port < 0 && !current.empty(); ++i)
        if (ports_[i].rfind(current, 0) == 0) port = i;
    baudRate = PositionOfBaudRate(serial.line.baudRate);
    parity = serial.line.parity <= 4 ? serial.line.parity : 0;
    stopBits = serial.line.stopBits <= 2 ? serial.line.stopBits : 0;
}

std::vector<std::string> SerialPortLogic::baudRateNames() const
{
    std::vector<std::string> names;
    for (int rate : kBaudRates) names.push_back(std::to_string(rate));
    return names;
}

void SerialPortLogic::Apply()
{
    LineSettings line;
    // Without a selection the port keeps its name rather than losing it.
    if (port >= 0 && port < static_cast<int>(ports_.size())) line.portName = ports_[static_cast<size_t>(port)];
    line.baudRate = BaudRateAtPosition(baudRate);
    line.parity = static_cast<uint8_t>(parity >= 0 && parity <= 4 ? parity : 0);
    line.stopBits = static_cast<uint8_t>(stopBits >= 0 && stopBits <= 2 ? stopBits : 0);
    engine_.SetSerialLine(line);
}

void SerialPortLogic::Open()
{
    Apply();
    engine_.OpenPort();
}

void SerialPortLogic::Close() { engine_.ClosePort(); }

}  // namespace nalvexa
