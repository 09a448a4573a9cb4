// SPDX-License-Identifier: MIT
#include "adapters/tr7100/tr7100_transaction_layer.h"

#include <algorithm>

namespace nalvexa {

void Tr7100TransactionLayer::Start(DriverRequest& request)
{
    Tr7100Frame& f = outgoing_;
    f.Clear();
    f.inbound = 0;
    f.isWrite = request.kind == Write ? 1 : 0;
    f.setBit6 = request.slIndex2 != 1 ? 1 : 0;
    f.command = static_cast<uint8_t>(request.address);
    f.Append(static_cast<uint8_t>(request.slIndex1 >> 8));
    f.Append(static_cast<uint8_t>(request.slIndex1));
    if (f.isWrite) {
        // The client sends the value low byte first, the drive wants it high byte first.
        f.Append(request.data[1]);
        f.Append(request.data[0]);
    }
    SendDown(f);
}

void Tr7100TransactionLayer::OnAnswer(DriverRequest& request, Message* message)
{
    const auto& f = static_cast<const Tr7100Frame&>(*message);
    if (f.error != Tr7100Frame::kNone) {
        switch (f.error) {
        case Tr7100Frame::kBadEcho: request.status = status::kNotTheAnswer; break;
        case Tr7100Frame::kBadChecksum: request.status = status::kBadChecksum; break;
        case Tr7100Frame::kNoAnswer: request.status = status::kNoAnswer; break;
        default: request.status = status::kFailed; break;
        }
    } else if (request.kind == Read) {
        int32_t n = std::clamp(f.count, 0, static_cast<int32_t>(request.data.size()));
        for (int32_t i = 0; i < n; ++i) request.data[static_cast<size_t>(i)] = f.bytes[static_cast<size_t>(n - 1 - i)];
    }
    Finish();
}

}  // namespace nalvexa
