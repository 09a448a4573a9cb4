// SPDX-License-Identifier: MIT
#pragma once

#include "adapters/lvt/lvt_layers.h"
#include "adapters/lvt/lvt_transaction_layer.h"
#include "adapters/serial_adapter_base.h"

namespace nalvexa {

// An LVT controller: split transfers of element arrays, and two control
// codes that move the line to 57600 or back to 19200 baud.
class CAdapterLVT : public SerialAdapterBase {
public:
    enum ControlCode : uint32_t { kFastLine = 1, kNormalLine = 2 };
    static constexpr int kStartBaudRate = 19200;
    static constexpr int kFastBaudRate = 57600;
    static constexpr int kReopenPauseMs = 500;

    explicit CAdapterLVT(const AdapterContext& context);

    void Execute(DriverRequest* request) override;
    AdapterOffer Offer() const override { return Offered(); }
    // Its menu and setup dialog, the same for every instance.
    static AdapterOffer Offered();

    const LvtTransactionLayer& transactionLayer() const { return transaction_; }

private:
    // Closes the port, sets the rate, and after the pause opens it and answers `request`.
    void Reopen(int baudRate, DriverRequest* request);
    void ResetStack() override
    {
        link_.Reset();
        reassembly_.Reset();
    }

    LvtTransactionLayer transaction_;
    LvtStatusLayer status_;
    LvtLinkLayer link_;
    LvtReassemblyLayer reassembly_;
    LvtFrame receive_;
    std::unique_ptr<ITimer> reopenPause_;
    DriverRequest* answerAfterReopen_ = nullptr;
};

}  // namespace nalvexa
