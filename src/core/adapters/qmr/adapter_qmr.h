// SPDX-License-Identifier: MIT
#pragma once

#include "adapters/qmr/qmr_layers.h"
#include "adapters/qmr/qmr_transaction_layer.h"
#include "adapters/serial_adapter_base.h"

namespace nalvexa {

// A QMR controller at 9600 baud: one frame per request, answered in arrival order.
class CAdapterQMR : public SerialAdapterBase {
public:
    static constexpr int kBaudRate = 9600;

    explicit CAdapterQMR(const AdapterContext& context);

    void Execute(DriverRequest* request) override;
    AdapterOffer Offer() const override { return Offered(); }
    // Its menu and setup dialog, the same for every instance.
    static AdapterOffer Offered();
    void RunCommand(int command) override;

    static constexpr int kModeBytePauseMs = 1000;
    // Puts the controller into QMR mode: six bytes, one a second, with
    // whatever it answers meanwhile thrown away; after the request on the
    // line, and requests wait until it is over (about six seconds).
    void SwitchToQmrMode();
    bool switchingMode() const { return modeStep_ >= 0; }

    const QmrTransactionLayer& transactionLayer() const { return transaction_; }

private:
    void ResetStack() override
    {
        link_.Reset();
        reassembly_.Reset();
    }

    void SendModeByte();

    QmrTransactionLayer transaction_;
    QmrHeaderLayer header_;
    QmrLinkLayer link_;
    QmrReassemblyLayer reassembly_;
    QmrFrame receive_;
    std::unique_ptr<ITimer> modeTimer_;
    int modeStep_ = -1;  // the next byte of the sequence; -1: no switch
};

}  // namespace nalvexa
