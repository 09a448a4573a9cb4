// SPDX-License-Identifier: MIT
// The serial adapters' dialogs: "Set Timeouts", "Configure Serial Port",
// and the setup dialog that opens them.
#pragma once

#include <string>
#include <vector>

#include "dialog_host.h"
#include "face.h"

namespace nalvexa {

class TimeoutSettingsLogic {
public:
    enum Field { kNone, kRetryTimeout, kRetries };

    TimeoutSettingsLogic(IEngine& engine, IDialogHost& host, const SerialState& serial);

    std::string retryTimeoutText, retriesText;
    // True when both fields were accepted and sent; else the refused field is said.
    bool Ok();
    Field refused() const { return refused_; }

private:
    IEngine& engine_;
    IDialogHost& host_;
    Field refused_ = kNone;
};

class SerialPortLogic {
public:
    static const std::vector<std::string> kParityNames;
    static const std::vector<std::string> kStopBitNames;

    // `systemPorts`: the names the system offers; the port in use is added when missing.
    SerialPortLogic(IEngine& engine, const SerialState& serial, std::vector<std::string> systemPorts);

    void Update(const SerialState& serial) { open_ = serial.portOpen; }
    const std::vector<std::string>& portNames() const { return ports_; }
    std::vector<std::string> baudRateNames() const;

    // The selections (-1: none).
    int port = -1, baudRate = -1, parity = 0, stopBits = 0;

    void Open();
    void Close();
    void Ok() { Apply(); }

    bool openEnabled() const { return !open_; }
    bool portEnabled() const { return !open_; }
    bool closeEnabled() const { return open_; }

private:
    void Apply();

    IEngine& engine_;
    std::vector<std::string> ports_;
    bool open_;
};

// The setup dialog of a serial adapter: its buttons.
class SerialSetupLogic {
public:
    SerialSetupLogic(IEngine& engine, const AdapterOffer& offer) : engine_(engine), offer_(offer) {}
    const std::string& title() const { return offer_.setupTitle; }
    bool hasModeButton() const { return offer_.setupCommand != 0; }
    void PressMode()
    {
        if (hasModeButton()) engine_.RunAdapterCommand(offer_.setupCommand);
    }

private:
    IEngine& engine_;
    AdapterOffer offer_;
};

}  // namespace nalvexa
