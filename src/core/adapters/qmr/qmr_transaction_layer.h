// SPDX-License-Identifier: MIT
#pragma once

#include "adapters/qmr/qmr_frame.h"
#include "stack/transaction_layer.h"

namespace nalvexa {

// Requests become frames of the index form (commands 0x01 and 0x02, when the
// low byte of slIndex1 is 1) or the byte form (0x11 and 0x12).
class QmrTransactionLayer : public TransactionLayer {
public:
    static constexpr uint32_t kMaxParameterBytes = 252;  // what the length byte can carry

    // False for a request whose frame cannot be built: the length byte could
    // not hold it, or its byte count does not fit the frame's count byte.
    static bool Fits(const DriverRequest& request);

protected:
    void Start(DriverRequest& request) override;
    void OnAnswer(DriverRequest& request, Message* message) override;

private:
    QmrFrame outgoing_;
};

}  // namespace nalvexa
