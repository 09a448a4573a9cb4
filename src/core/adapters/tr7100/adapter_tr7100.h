// SPDX-License-Identifier: MIT
#pragma once

#include "adapters/serial_adapter_base.h"
#include "adapters/tr7100/tr7100_checksum_layer.h"
#include "adapters/tr7100/tr7100_header_layer.h"
#include "adapters/tr7100/tr7100_link_layer.h"
#include "adapters/tr7100/tr7100_reassembly_layer.h"
#include "adapters/tr7100/tr7100_stream_layer.h"
#include "adapters/tr7100/tr7100_transaction_layer.h"

namespace nalvexa {

// The default adapter: 16-bit parameters of a TR7100 drive, and three
// control codes (drop received data, stream mode on, stream mode off).
class CAdapterTR7100 : public SerialAdapterBase {
public:
    enum ControlCode : uint32_t { kSuppressDelivery = 1, kStreamMode = 2, kNormalMode = 3 };

    explicit CAdapterTR7100(const AdapterContext& context);

    void Execute(DriverRequest* request) override;
    AdapterOffer Offer() const override { return Offered(); }
    // Its menu and setup dialog, the same for every instance.
    static AdapterOffer Offered();
    // Delivery on and normal mode again, as for a new client.
    void OnClientGone() override;

    bool streamMode() const { return stream_; }
    const Tr7100TransactionLayer& transactionLayer() const { return transaction_; }

private:
    void ResetStack() override
    {
        link_.Reset();
        reassembly_.Reset();
        checksum_.Reset();
        streamLayer_.Reset();
    }
    void WireNormal();
    void WireStream();
    void RunControl(const DriverRequest& request);

    Tr7100TransactionLayer transaction_;
    Tr7100HeaderLayer header_;
    Tr7100LinkLayer link_;
    Tr7100ChecksumLayer checksum_;
    Tr7100ReassemblyLayer reassembly_;
    Tr7100StreamLayer streamLayer_;
    Tr7100Frame receive_;
    bool stream_ = false;
};

}  // namespace nalvexa
