// SPDX-License-Identifier: MIT
#include "adapters/qmr/qmr_transaction_layer.h"

#include <algorithm>
#include <cstring>

namespace nalvexa {

namespace {

bool IndexForm(const DriverRequest& request) { return (request.slIndex1 & 0xFF) == 1; }

}  // namespace

bool QmrTransactionLayer::Fits(const DriverRequest& request)
{
    if (IndexForm(request)) return true;  // at most 2 + 4 parameter bytes
    // The byte form names its object in two bytes, so a write carries two
    // bytes fewer; an answer carries its flags byte before the bytes read.
    if (request.kind == Read) return request.length <= kMaxParameterBytes - 1;
    return request.length <= kMaxParameterBytes - 2;
}

void QmrTransactionLayer::Start(DriverRequest& request)
{
    QmrFrame& f = outgoing_;
    f.Clear();
    f.inbound = 0;
    f.address = static_cast<uint8_t>(request.address);
    const bool write = request.kind == Write;
    if (IndexForm(request)) {
        f.command = write ? 0x02 : 0x01;
        f.Append(static_cast<uint8_t>(request.slIndex2));
        f.Append(static_cast<uint8_t>(request.slIndex2 >> 8));
        if (!write) {
            f.Append(request.length == 2 ? 2 : 4);
        } else if (request.length == 2 || request.length == 4) {
            f.Append(request.data.data(), static_cast<int32_t>(request.length));
        } else {
            f.count = 0;  // a write of another size carries no parameters at all
        }
    } else {
        f.command = write ? 0x12 : 0x11;
        f.Append(static_cast<uint8_t>(request.slIndex3));
        f.Append(static_cast<uint8_t>(request.slIndex2));
        if (!write)
            f.Append(static_cast<uint8_t>(request.length));
        else
            f.Append(request.data.data(), static_cast<int32_t>(request.length & 0xFF));
    }
    SendDown(f);
}

void QmrTransactionLayer::OnAnswer(DriverRequest& request, Message* message)
{
    const auto& f = static_cast<const QmrFrame&>(*message);
    if (f.error != QmrFrame::kNone) {
        switch (f.error) {
        case QmrFrame::kFlagged: request.status = status::kDeviceError; break;
        case QmrFrame::kBadSum: request.status = status::kBadChecksum; break;
        case QmrFrame::kNoAnswer: request.status = status::kNoAnswer; break;
        case QmrFrame::kNotTheAnswer: request.status = status::kNotTheAnswer; break;
        default: request.status = status::kFailed; break;
        }
    } else if (request.kind == Read) {
        int32_t n = std::clamp(f.count, 0, static_cast<int32_t>(request.data.size()));
        std::memcpy(request.data.data(), f.bytes.data(), static_cast<size_t>(n));
    }
    Finish();
}

}  // namespace nalvexa
