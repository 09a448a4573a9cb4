// SPDX-License-Identifier: MIT
// A face's partner in tests: an engine that records each command as a line
// and keeps the last values, and a host whose boxes are recorded and answered.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "dialog_host.h"
#include "face.h"

namespace nalvexa::test {

class FakeEngine : public IEngine {
public:
    void Listen(uint32_t port) override { Add("Listen " + std::to_string(port)); }
    void CloseListening() override { Add("CloseListening"); }
    void CloseClient() override { Add("CloseClient"); }
    void SetTimeouts(int32_t retryTimeout, int32_t retries) override
    {
        Add("SetTimeouts " + std::to_string(retryTimeout) + " " + std::to_string(retries));
    }
    void SetSerialLine(const LineSettings& line) override
    {
        Add("SetSerialLine " + line.portName.value_or("(kept)") + " " + std::to_string(line.baudRate) + " " +
            std::to_string(line.parity) + " " + std::to_string(line.stopBits));
    }
    void OpenPort() override { Add("OpenPort"); }
    void ClosePort() override { Add("ClosePort"); }
    void RunAdapterCommand(int command) override { Add("RunAdapterCommand " + std::to_string(command)); }
    void CanBusOn(const CanHardware& hw) override
    {
        char text[96];
        std::snprintf(text, sizeof text, "CanBusOn irq %u address %04X btr %04X ", hw.interrupt, hw.portAddress,
                      hw.bitTiming);
        Add(text + hw.channel);
    }
    void CanBusOff() override { Add("CanBusOff"); }
    void SetCanIdentifiers(int32_t nodeId, int32_t transmit, int32_t receive) override
    {
        Add("SetCanIdentifiers " + std::to_string(nodeId) + " " + std::to_string(transmit) + " " +
            std::to_string(receive));
    }
    void Nmt(NmtCommand command) override { Add("Nmt " + std::to_string(static_cast<int>(command))); }
    void ChangeBitRate(int kbit) override { Add("ChangeBitRate " + std::to_string(kbit)); }
    void SetNodeId(uint8_t nodeId, std::optional<uint32_t> serial) override
    {
        Add("SetNodeId " + std::to_string(nodeId) + (serial ? " serial " + std::to_string(*serial) : ""));
    }
    void InquireIdentity() override { Add("InquireIdentity"); }
    void HearEverything(bool on) override { Add(std::string("HearEverything ") + (on ? "on" : "off")); }
    void WriteTestFrame(const CanMessage& f) override
    {
        char text[96];
        std::snprintf(text, sizeof text, "WriteTestFrame %03X [%u] %02X %02X %02X %02X %02X %02X %02X %02X", f.id,
                      f.length, f.data[0], f.data[1], f.data[2], f.data[3], f.data[4], f.data[5], f.data[6],
                      f.data[7]);
        Add(text);
    }
    void ReadTestFrame() override { Add("ReadTestFrame"); }
    void Trace(bool on) override { Add(std::string("Trace ") + (on ? "on" : "off")); }
    void Close() override { Add("Close"); }

    // The commands since the last Take.
    std::vector<std::string> Take() { return std::exchange(commands, {}); }
    std::vector<std::string> commands;

private:
    void Add(const std::string& line) { commands.push_back(line); }
};

class FakeHost : public IDialogHost {
public:
    void Show(const std::string& text, Caption caption) override
    {
        said.push_back(text);
        captions.push_back(caption);
    }
    bool Confirm(const std::string& warning) override
    {
        warnings.push_back(warning);
        return confirm;
    }
    bool Ask(const std::string& question) override
    {
        questions.push_back(question);
        return yes;
    }
    std::vector<std::string> said, warnings, questions;
    std::vector<Caption> captions;
    bool confirm = true, yes = true;
};

}  // namespace nalvexa::test
