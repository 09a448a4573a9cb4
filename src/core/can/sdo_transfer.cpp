// SPDX-License-Identifier: MIT
#include "can/sdo_transfer.h"

#include "can/adapter_can.h"

namespace nalvexa {

SdoTransfer::SdoTransfer(CAdapterCAN& can, Ended ended)
    : can_(can), ended_(std::move(ended)), wait_(can, [this] {
          r_->status = status::kCanNoAnswer;
          NoAnswer();
      })
{
}

void SdoTransfer::Begin(DriverRequest& request, uint8_t subIndex, uint32_t cursor)
{
    r_ = &request;
    sub_ = subIndex;
    cursor_ = cursor;
    Start();
}

void SdoTransfer::Take(const CanMessage& frame)
{
    wait_.Stop();
    Answered(frame);
}

void SdoTransfer::Failed(uint32_t code)
{
    if (!wait_.waiting()) return;
    wait_.Stop();
    CCANDriver::SetDriverErrorStatus(*r_, code);
    NoAnswer();
}

bool SdoTransfer::Send(const CanMessage& frame)
{
    const uint32_t result = can_.WriteCanMessage(frame);
    if (result == can::kOk) return true;
    // No answer can come to what was not sent.
    CCANDriver::SetDriverErrorStatus(*r_, result);
    return false;
}

void SdoTransfer::Await(const SdoAnswer& expected)
{
    wait_.Start([expected](const CanMessage& f) { return expected.Matches(f); });
}

void SdoTransfer::Expect(uint8_t mask, uint8_t command)
{
    Await(SdoAnswer::Initiate(static_cast<uint32_t>(can_.SdoReceiveCobId), mask, command, index(), sub_));
}

void SdoTransfer::ExpectWithin(uint8_t mask, uint8_t command, int toggle)
{
    Await(SdoAnswer::Within(static_cast<uint32_t>(can_.SdoReceiveCobId), mask, command, index(), sub_, toggle));
}

void SdoTransfer::Aborted(const CanMessage& answer) { can_.SetAbortStatus(*r_, answer); }

CanMessage SdoTransfer::Frame(uint8_t command, bool named) const
{
    CanMessage f;
    f.id = static_cast<uint32_t>(can_.SdoTransmitCobId);
    f.type = 0;
    f.length = 8;
    f.data[0] = command;
    if (named) {
        f.data[1] = static_cast<uint8_t>(index());
        f.data[2] = static_cast<uint8_t>(index() >> 8);
        f.data[3] = sub_;
    }
    return f;
}

}  // namespace nalvexa
