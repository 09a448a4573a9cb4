// SPDX-License-Identifier: MIT
#include "can/adapter_can.h"

#include <memory>

#include "can/sdo_abort_codes.h"
#include "can/sdo_transfer.h"

namespace nalvexa {

// The transfers of one request, one sub-index after the other; the reply
// follows the last. A failure in one sub-index does not stop the others.
class CAdapterCAN::Transfers : public CanJob {
public:
    explicit Transfers(CAdapterCAN& can)
        : can_(can), upload_(can, [this](bool more) { Next(more); }), download_(can, [this](bool more) { Next(more); }),
          block_(can, [this](bool) { Finish(); })
    {
    }
    // The request it carries out next.
    void For(DriverRequest& r) { r_ = &r; }

    void Start() override
    {
        can_.lastAbortCode_ = can_.lastReadLength_ = 0;
        if (!can_.driverOpen) {
            SetDriverErrorStatus(*r_, can::kIllHandle);  // the channel is closed (or gone, and being reopened)
            return Finish();
        }
        if (IsBlockDownload(*r_)) {
            current_ = &block_;
            return block_.Begin(*r_, static_cast<uint8_t>(r_->slIndex2), 0);
        }
        perObject_ = r_->length / (r_->slIndex3 - r_->slIndex2 + 1);
        download_.SetLength(perObject_);
        current_ = r_->kind == Read ? static_cast<SdoTransfer*>(&upload_) : &download_;
        sub_ = r_->slIndex2;
        current_->Begin(*r_, static_cast<uint8_t>(sub_), 0);
    }
    bool Awaits(const CanMessage& frame) const override { return current_ && current_->Awaits(frame); }
    void Take(const CanMessage& frame) override { current_->Take(frame); }
    void Failed(uint32_t code) override
    {
        if (current_) current_->Failed(code);
    }

private:
    void Next(bool more)
    {
        if (!more || sub_ >= r_->slIndex3 || !can_.driverOpen) return Finish();
        ++sub_;
        // Each object's bytes are its own share, whatever became of the one
        // before: an object aborted before its segments must not move the
        // next one's bytes. What a read stores moves up after a failure.
        const uint32_t cursor = r_->kind == Write ? (sub_ - r_->slIndex2) * perObject_ : current_->cursor();
        current_->Begin(*r_, static_cast<uint8_t>(sub_), cursor);
    }
    void Finish()
    {
        if (r_->kind == Read && current_) can_.SetReadLength(current_->cursor());
        current_ = nullptr;
        r_->replySink->SendReply();
        can_.JobDone();
    }

    CAdapterCAN& can_;
    DriverRequest* r_ = nullptr;
    SdoUpload upload_;
    SdoDownload download_;
    SdoBlockDownload block_;
    SdoTransfer* current_ = nullptr;
    uint32_t sub_ = 0;
    uint32_t perObject_ = 0;
};

CAdapterCAN::CAdapterCAN(ICanLibrary& library, IniFile& ini, ITimerHost& clock, IUserNotifier& notifier)
    : CCANDriver(library, ini, clock, notifier)
{
    LoadSettings();
    driverOpen = 0;
    nmtWarningPending = 1;
    InitDriver();
}

bool CAdapterCAN::Addressable(const DriverRequest& r)
{
    if (r.slIndex1 > kMaxIndex || r.slIndex2 > kMaxSubIndex) return false;
    if (IsBlockDownload(r)) return true;  // one sub-index, slIndex2
    if (r.slIndex3 > kMaxSubIndex || r.slIndex3 < r.slIndex2) return false;
    if (r.kind != Write) return true;
    // Every object of the range gets the same share, which travels in one byte.
    const uint32_t objects = r.slIndex3 - r.slIndex2 + 1;
    const uint32_t perObject = r.length / objects;
    return r.length % objects == 0 && perObject >= 1 && perObject <= 255;
}

void CAdapterCAN::Execute(DriverRequest* request)
{
    DriverRequest& r = *request;
    if ((r.kind != Read && r.kind != Write) || !Addressable(r)) {
        r.status = status::kFailed;  // no SDO transfer for it; nothing is sent, the client still gets its answer
        r.replySink->SendReply();
        return;
    }
    // One request at a time comes from the client; should another come meanwhile, it gets transfers of its own.
    if (!transfers_) transfers_ = std::make_unique<Transfers>(*this);
    if (queued(*transfers_)) {
        auto extra = std::make_unique<Transfers>(*this);
        extra->For(r);
        return Submit(std::move(extra));
    }
    transfers_->For(r);
    Submit(*transfers_);
}

// The jobs go before the transfers they may hold.
CAdapterCAN::~CAdapterCAN() { Shutdown(); }

void CAdapterCAN::SetAbortStatus(DriverRequest& request, const CanMessage& answer)
{
    lastAbortCode_ = can::LittleEndian32(answer.data + 4);
    request.status = SdoAbortStatus(lastAbortCode_);
}

AdapterOffer CAdapterCAN::Offered()
{
    return {{{"Hardware Interface Driver...", kCanHardware},
             {"Node Identifier Selection...", kCanNodeId},
             {"", 0},
             {"Network Management Services...", kCanNmt},
             {"Layer Setting Services...", kCanLss},
             {"", 0},
             {"CAN Message Test...", kCanMessageTest}},
            SetupDialog::Can,
            "CAN Driver Setup"};
}

}  // namespace nalvexa
