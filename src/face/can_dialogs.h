// SPDX-License-Identifier: MIT
// The CAN adapter's settings dialogs: "CAN Hardware Interface Driver" and
// "CAN Node Identifier Selection".
#pragma once

#include <string>
#include <vector>

#include "dialog_host.h"
#include "face.h"

namespace nalvexa {

class CanHardwareLogic {
public:
    enum PortName { kLpt1, kLpt2, kLpt3, kCustom };
    static const std::vector<std::string> kPortNames, kInterruptNames, kAddressNames, kRateNames;

    // `systemChannels`: the channels the system offers; the one in use is put first when missing.
    CanHardwareLogic(IEngine& engine, IDialogHost& host, const CanState& can, std::vector<std::string> systemChannels);
    void Update(const CanState& can) { can_ = can; }

    const std::vector<std::string>& channels() const { return channels_; }
    // The selections (-1: none) and the texts of the editable lists.
    int portName = kCustom, interrupt = -1, rate = -1;
    std::string addressText, channelText;

    // The LPT presets set their interrupt and address.
    void SelectPortName(int index);
    // False when the address was refused (said, and the one in use shown again).
    bool BusOn();
    void BusOff();

    bool open() const { return can_.open; }
    bool listsEnabled() const { return !can_.open; }  // port name, rate, channel, "Bus On"
    bool customEnabled() const { return !can_.open && portName == kCustom; }  // interrupt, address
    bool busOffEnabled() const { return can_.open; }

private:
    IEngine& engine_;
    IDialogHost& host_;
    CanState can_;
    std::vector<std::string> channels_;
};

class CanNodeIdLogic {
public:
    enum Field { kNone, kNodeId, kTransmit, kReceive };

    CanNodeIdLogic(IEngine& engine, IDialogHost& host, const CanState& can);

    std::string nodeIdText, transmitText, receiveText;
    // The operator typed a node-ID: its COB-IDs are proposed (a refused
    // entry keeps the previous node-ID).
    void NodeIdEdited(const std::string& text);
    // The operator typed a COB-ID.
    void CobIdEdited();
    // What the fields hold, in hexadecimal; empty for what is no number.
    std::string nodeIdEcho() const;
    std::string transmitEcho() const;
    std::string receiveEcho() const;
    // True when every field was accepted and sent.
    bool Ok();
    Field refused() const { return refused_; }

private:
    IEngine& engine_;
    IDialogHost& host_;
    int32_t nodeId_, transmit_, receive_;
    Field refused_ = kNone;
};

}  // namespace nalvexa
