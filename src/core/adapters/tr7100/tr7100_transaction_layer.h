// SPDX-License-Identifier: MIT
#pragma once

#include "adapters/tr7100/tr7100_frame.h"
#include "stack/transaction_layer.h"

namespace nalvexa {

// Reads and writes of one 16-bit drive parameter each.
class Tr7100TransactionLayer : public TransactionLayer {
protected:
    void Start(DriverRequest& request) override;
    void OnAnswer(DriverRequest& request, Message* message) override;

private:
    Tr7100Frame outgoing_;
};

}  // namespace nalvexa
