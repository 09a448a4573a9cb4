// SPDX-License-Identifier: MIT
// The CAN dialogs that run the network services: NMT, the LSS menu and its
// three procedures.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "dialog_host.h"
#include "face.h"

namespace nalvexa {

extern const char* const kNmtWarning;
extern const char* const kBitRateWarning;
extern const char* const kInquireWarning;
extern const char* const kSetNodeIdSerialWarning;
extern const char* const kSetNodeIdGlobalWarning;

// "CAN NMT": the five commands, after a warning that is confirmed once a run.
class CanNmtLogic {
public:
    CanNmtLogic(IEngine& engine, IDialogHost& host, const CanState& can)
        : engine_(engine), host_(host), warn_(can.nmtWarningPending)
    {
    }
    void Update(const CanState& can) { warn_ = warn_ && can.nmtWarningPending; }
    void Press(NmtCommand command);

private:
    IEngine& engine_;
    IDialogHost& host_;
    bool warn_;
};

// "CAN Layer Setting Services": whether each button's procedure dialog opens.
class CanLssLogic {
public:
    explicit CanLssLogic(IDialogHost& host) : host_(host) {}
    bool OpenSetNodeId() { return true; }
    bool OpenSetBitRate() { return host_.Confirm(kBitRateWarning); }
    bool OpenInquire() { return host_.Confirm(kInquireWarning); }

private:
    IDialogHost& host_;
};

// What "OK" does to a dialog: it stays open (a refused field), closes as OK or as Cancel.
enum class Outcome { Stay, Accept, Reject };

// "CAN Set Node Identifier": a new node-ID for one drive (by serial number) or for the only one.
class CanSetNodeIdLogic {
public:
    enum Field { kNone, kNodeId, kSerial };
    CanSetNodeIdLogic(IEngine& engine, IDialogHost& host, const CanState& can)
        : nodeIdText(std::to_string(can.nodeId)), engine_(engine), host_(host)
    {
    }
    std::string nodeIdText, serialText;
    Outcome Ok();
    Field refused() const { return refused_; }

private:
    IEngine& engine_;
    IDialogHost& host_;
    Field refused_ = kNone;
};

// "CAN Set CAN baudrate": moves every drive, then the program, to a new bit rate.
class CanSetBitRateLogic {
public:
    static const std::vector<std::string> kRateNames;
    CanSetBitRateLogic(IEngine& engine, const CanState& can);
    int rate;  // -1: none
    // False while no rate is chosen.
    bool Ok();

private:
    IEngine& engine_;
};

// "CAN Inquire LSS Address": the drive's identity, asked for as the dialog opens.
class CanInquireLogic {
public:
    explicit CanInquireLogic(IEngine& engine) { engine.InquireIdentity(); }
    void Inquired(const LssIdentity& id);
    bool inquired() const { return inquired_; }
    std::string vendorText, productText, revisionText, serialText;

private:
    bool inquired_ = false;
};

// "CAN Message Test": raw frames out, and the frames of the bus read one by one.
class CanMessageTestLogic {
public:
    static constexpr int32_t kMaxStandardId = 0x7FF;  // an 11-bit identifier
    enum Field { kId = 0, kLength = 1, kData0 = 2 };  // kData0 + i for data byte i

    CanMessageTestLogic(IEngine& engine, IDialogHost& host);
    ~CanMessageTestLogic();

    std::string idText = "0", lengthText = "0";
    std::array<std::string, 8> dataText{"0", "0", "0", "0", "0", "0", "0", "0"};
    // Sends the frame when every field is accepted; else says why, and sends nothing.
    bool Write();
    void Read() { engine_.ReadTestFrame(); }
    // A read's result: its lines are added to what the list shows.
    void FrameRead(uint32_t result, const CanMessage& frame);
    const std::vector<std::string>& lines() const { return lines_; }
    int refused() const { return refused_; }

private:
    IEngine& engine_;
    IDialogHost& host_;
    std::vector<std::string> lines_;
    int refused_ = -1;
};

}  // namespace nalvexa
