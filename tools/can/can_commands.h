// SPDX-License-Identifier: MIT
// The commands of nalvexa-can, carried out with the driver's own CAN code.
#pragma once

#include <memory>
#include <string>

#include "can/adapter_can.h"
#include "can_options.h"
#include "tool_notifier.h"

namespace nalvexa::cantool {

class Commissioning {
public:
    Commissioning(CAdapterCAN& can, const Options& options, ToolNotifier& notifier);
    // The exit status: 0 done, 1 refused, unanswered or failed (the reason on stderr).
    int Run(const Command& command);

private:
    // One SDO read or write of the command's object, done.
    std::unique_ptr<DriverRequest> Transfer(RequestKind kind, const Command& c);
    int SdoRead(const Command& c);
    int SdoWrite(const Command& c);
    int Nmt(const Command& c);
    int LssInquire();
    int LssSetNodeId(const Command& c);
    int LssSetBitRate(const Command& c);
    int LssScan();
    int Scan();
    // An SDO transfer's outcome: 0, or 1 with the reason on stderr.
    int SdoOutcome(const DriverRequest& request, const Command& c);
    // Prints the reason (after what the driver's code said) and gives 1.
    int Fail(const std::string& reason);
    int LssOutcome(const char* what);

    CAdapterCAN& can_;
    const Options& options_;
    ToolNotifier& notifier_;
};

}  // namespace nalvexa::cantool
