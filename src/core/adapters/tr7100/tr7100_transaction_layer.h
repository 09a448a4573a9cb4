// SPDX-License-Identifier: MIT
#pragma once

#include "adapters/tr7100/tr7100_frame.h"
#include "stack/transaction_layer.h"

namespace nalvexa {

// Reads and writes of one 16-bit drive parameter each.
class Tr7100TransactionLayer : public TransactionLayer {
public:
    static constexpr uint32_t kValueBytes = 2;
    // False for a write that does not carry the two bytes of a value: its
    // frame would have to send bytes the client never gave.
    static bool Fits(const DriverRequest& request) { return request.kind != Write || request.length >= kValueBytes; }

protected:
    void Start(DriverRequest& request) override;
    void OnAnswer(DriverRequest& request, Message* message) override;

private:
    Tr7100Frame outgoing_;
};

}  // namespace nalvexa
