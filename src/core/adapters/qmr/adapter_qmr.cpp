// SPDX-License-Identifier: MIT
#include "adapters/qmr/adapter_qmr.h"

namespace nalvexa {

CAdapterQMR::CAdapterQMR(const AdapterContext& context)
    : SerialAdapterBase(context), link_(context.timers), reassembly_(context.timers, link_)
{
    BindLink(transaction_, link_);
    WireStack(transaction_, header_, link_, reassembly_);
    receive_.inbound = 1;
    port_.SetReceiveMessage(&receive_);
    modeTimer_ = context.timers.createTimer([this] {
        modeTimer_->stop();
        SendModeByte();
    });
    LoadSerialSettings(context.ini, *this, "0");
    port_.setBaudRate(kBaudRate);  // whatever the shared section says
    OpenPort();
}

void CAdapterQMR::Execute(DriverRequest* request)
{
    if (request->kind != Read && request->kind != Write) {
        // No QMR frame exists for it; answered so that the client is not left waiting.
        request->status = status::kFailed;
        request->replySink->SendReply();
        return;
    }
    if (!IsPortOpen()) {
        request->status = status::kPortClosed;
        request->replySink->SendReply();
        return;
    }
    if (!QmrTransactionLayer::Fits(*request)) {
        request->status = status::kFailed;
        request->replySink->SendReply();
        return;
    }
    transaction_.Enqueue(request);
}

void CAdapterQMR::SwitchToQmrMode()
{
    if (switchingMode()) return;
    modeStep_ = 0;
    transaction_.Hold([this] {
        port_.setSuppressDelivery(1);
        SendModeByte();
    });
}

void CAdapterQMR::SendModeByte()
{
    static constexpr uint8_t kSequence[6] = {0x0D, 0x0D, 0x10, 0x53, 0x43, 0x0D};
    if (modeStep_ >= static_cast<int>(sizeof kSequence)) {
        // The pause after the last byte is over.
        port_.setSuppressDelivery(0);
        modeStep_ = -1;
        transaction_.Release();
        return;
    }
    // Straight to the port: no length byte, no checksum, no time-out.
    QmrFrame single;
    single.Append(kSequence[modeStep_++]);
    port_.WriteFrame(single);
    modeTimer_->start(kModeBytePauseMs);
}

AdapterOffer CAdapterQMR::Offered()
{
    return {{{"Set Timeouts...", kQmrTimeouts},
             {"Configure Serial Port...", kQmrSerialPort},
             {"", 0},
             {"Switch Controller To QMR Mode", kQmrMode}},
            SetupDialog::Serial,
            "QMR Driver Setup",
            kQmrMode};
}

void CAdapterQMR::RunCommand(int command)
{
    if (command == kQmrMode) SwitchToQmrMode();
}

}  // namespace nalvexa
