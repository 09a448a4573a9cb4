// SPDX-License-Identifier: MIT
#include "adapters/lvt/adapter_lvt.h"

#include <utility>

namespace nalvexa {

CAdapterLVT::CAdapterLVT(const AdapterContext& context)
    : SerialAdapterBase(context), link_(context.timers), reassembly_(context.timers, link_)
{
    BindLink(transaction_, link_);
    WireStack(transaction_, status_, link_, reassembly_);
    receive_.inbound = 1;
    port_.SetReceiveMessage(&receive_);
    reopenPause_ = context.timers.createTimer([this] {
        reopenPause_->stop();
        OpenPort();
        // Whether or not the port could be opened again.
        if (DriverRequest* r = std::exchange(answerAfterReopen_, nullptr)) r->replySink->SendReply();
    });
    LoadSerialSettings(context.ini, *this, "5");
    port_.setBaudRate(kStartBaudRate);  // every start, whatever was saved
    OpenPort();
}

void CAdapterLVT::Execute(DriverRequest* request)
{
    switch (request->kind) {
    case Read:
    case Write:
        if (!IsPortOpen()) {
            request->status = status::kPortClosed;
        } else if (!LvtTransactionLayer::CanSplit(*request)) {
            request->status = status::kFailed;  // would divide by zero or never end
        } else {
            transaction_.Enqueue(request);
            return;
        }
        request->replySink->SendReply();
        return;
    case Control:
        if (request->slIndex1 == kFastLine) return Reopen(kFastBaudRate, request);
        if (request->slIndex1 == kNormalLine) return Reopen(kStartBaudRate, request);
        request->replySink->SendReply();
        return;
    default:
        return;
    }
}

void CAdapterLVT::Reopen(int baudRate, DriverRequest* request)
{
    ClosePort();
    SetBaudRate(baudRate);
    answerAfterReopen_ = request;
    reopenPause_->start(kReopenPauseMs);
}

AdapterOffer CAdapterLVT::Offered()
{
    return {{{"Set Timeouts...", kLvtTimeouts}, {"Configure Serial Port...", kLvtSerialPort}},
            SetupDialog::Serial,
            "LVT Driver Setup"};
}

}  // namespace nalvexa
