// SPDX-License-Identifier: MIT
#pragma once

#include "adapters/lvt/lvt_frame.h"
#include "stack/transaction_layer.h"

namespace nalvexa {

// Reads and writes of arrays of elements of one object, split into frames
// of at most 128 data bytes; each element's bytes are reversed between the
// client (low byte first) and the controller (high byte first).
class LvtTransactionLayer : public TransactionLayer {
public:
    static constexpr int32_t kMaxFrameData = 128;

    // False for a request the split cannot serve: a zero element size, a
    // write without elements, a read of nothing, elements too large to
    // split, or a write whose bytes are no whole number of elements (the
    // rest would be dropped unsent).
    static bool CanSplit(const DriverRequest& request);

protected:
    void Start(DriverRequest& request) override;
    void OnAnswer(DriverRequest& request, Message* message) override;

private:
    void SendFrame(const DriverRequest& request, uint32_t offset, uint32_t count);
    void SendNext(const DriverRequest& request);
    void CopyAnswer(DriverRequest& request, const LvtFrame& answer);

    LvtFrame outgoing_;
    int32_t elementSize_ = 0;
    int32_t elementsPerFrame_ = 0;
    int32_t remaining_ = 0;
    int32_t readOffset_ = 0;
    int32_t writeOffset_ = 0;
};

}  // namespace nalvexa
