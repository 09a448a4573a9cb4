// SPDX-License-Identifier: MIT
#include "adapters/tr7100/adapter_tr7100.h"

namespace nalvexa {

CAdapterTR7100::CAdapterTR7100(const AdapterContext& context)
    : SerialAdapterBase(context),
      link_(context.timers),
      checksum_(context.timers, link_),
      reassembly_(context.timers, link_)
{
    BindLink(transaction_, link_);
    WireNormal();
    receive_.inbound = 1;
    port_.SetReceiveMessage(&receive_);
    LoadSerialSettings(context.ini, *this, "0");
    port_.setRtsControl(1);
    port_.setDtrControl(1);
    OpenPort();
}

void CAdapterTR7100::WireNormal()
{
    WireStack(transaction_, header_, link_, reassembly_);
    port_.setDiscardBeforeWrite(true);
    stream_ = false;
}

void CAdapterTR7100::WireStream()
{
    WireStack(transaction_, header_, checksum_, streamLayer_);
    port_.setDiscardBeforeWrite(false);
    stream_ = true;
}

void CAdapterTR7100::Execute(DriverRequest* request)
{
    switch (request->kind) {
    case Read:
    case Write:
        if (IsPortOpen() && Tr7100TransactionLayer::Fits(*request)) {
            transaction_.Enqueue(request);
            return;
        }
        request->status = IsPortOpen() ? status::kFailed : status::kPortClosed;
        request->replySink->SendReply();
        return;
    case Control:
        RunControl(*request);
        request->replySink->SendReply();
        return;
    default:
        return;
    }
}

void CAdapterTR7100::RunControl(const DriverRequest& request)
{
    switch (request.slIndex1) {
    case kSuppressDelivery:
        if (request.slIndex2 == 0) port_.setSuppressDelivery(0);
        if (request.slIndex2 == 1) port_.setSuppressDelivery(1);
        break;
    case kStreamMode:
        WireStream();
        streamLayer_.SetBlockSink(request.replySink);
        break;
    case kNormalMode: WireNormal(); break;
    default: break;
    }
}

void CAdapterTR7100::OnClientGone()
{
    port_.setSuppressDelivery(0);
    if (stream_) WireNormal();
    streamLayer_.SetBlockSink(nullptr);
}

AdapterOffer CAdapterTR7100::Offered()
{
    return {{{"Set Timeouts...", kTr7100Timeouts}, {"Configure Serial Port...", kTr7100SerialPort}},
            SetupDialog::Serial,
            "TR7100 Driver Setup"};
}

}  // namespace nalvexa
