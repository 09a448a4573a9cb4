// SPDX-License-Identifier: MIT
// The commands of nalvexa-can, carried out with the driver's own CAN code.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "can/adapter_can.h"
#include "can_options.h"
#include "tool_notifier.h"

namespace nalvexa::cantool {

// Runs on the loop: the command's work is jobs of the driver's bus, and
// `finished` follows with the exit status.
class Commissioning : public IRequestReply {
public:
    using Finished = std::function<void(int status)>;
    Commissioning(CAdapterCAN& can, const Options& options, ToolNotifier& notifier);
    // The exit status: 0 done, 1 refused, unanswered or failed (the reason on stderr).
    void Run(const Command& command, Finished finished);

private:
    // One SDO read or write of the command's object; its outcome follows.
    void Transfer(RequestKind kind, const Command& c);
    void SendReply() override;
    void SendBlock(const uint8_t*, uint32_t) override {}
    void SdoDone();
    void Nmt(const Command& c);
    void LssInquire();
    void LssSetNodeId(const Command& c);
    void LssSetBitRate(const Command& c);
    void LssScan();
    void NextFastscan();
    void Scan();
    // An SDO transfer's outcome: 0, or 1 with the reason on stderr.
    int SdoOutcome(const DriverRequest& request, const Command& c);
    // Prints the reason (after what the driver's code said) and gives 1.
    int Fail(const std::string& reason);
    int LssOutcome(const char* what);

    CAdapterCAN& can_;
    const Options& options_;
    ToolNotifier& notifier_;
    Finished finished_;
    Command command_;
    DriverRequest request_;
    int found_ = 0;  // drives a scan has found
};

}  // namespace nalvexa::cantool
