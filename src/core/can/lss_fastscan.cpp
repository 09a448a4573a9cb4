// SPDX-License-Identifier: MIT
// LSS fastscan (CiA 305): the identity of one drive without a node-ID, bit
// by bit from the top, each step a frame and a short wait for any answer.
#include <memory>

#include "can/can_answer_wait.h"
#include "can/can_driver.h"
#include "can/lss_frames.h"

namespace nalvexa {

namespace {

constexpr uint8_t kFastscan = 0x51;
constexpr uint8_t kIdentified = 0x4F;
constexpr uint8_t kFastscanReset = 0x80;

class FastscanJob : public CanJob {
public:
    using Done = std::function<void(CCANDriver::FastscanResult, const LssIdentity&)>;

    FastscanJob(CCANDriver& bus, int stepMs, Done done)
        : bus_(bus), stepMs_(stepMs), done_(std::move(done)), wait_(bus, [this] { Answered(false); })
    {
    }

    // Is there any drive without a node-ID?
    void Start() override { Ask(0, kFastscanReset, 0, 0); }
    bool Awaits(const CanMessage& f) const override { return wait_.Awaits(f); }
    void Take(const CanMessage&) override
    {
        wait_.Stop();
        Answered(true);
    }
    void Failed(uint32_t) override
    {
        if (!wait_.waiting()) return;
        wait_.Stop();
        Answered(false);
    }

private:
    enum class State { Any, Bit, Confirm };

    void Ask(uint32_t idNumber, uint8_t bitChecked, uint8_t sub, uint8_t next)
    {
        bus_.FlushReceiveQueue();
        bus_.Send(lss::Frame({kFastscan, static_cast<uint8_t>(idNumber), static_cast<uint8_t>(idNumber >> 8),
                              static_cast<uint8_t>(idNumber >> 16), static_cast<uint8_t>(idNumber >> 24), bitChecked,
                              sub, next}));
        wait_.Start([](const CanMessage& a) { return lss::IsAnswer(a) && a.data[0] == kIdentified; }, stepMs_);
    }
    void AskBit() { Ask(id_, static_cast<uint8_t>(bit_), sub_, sub_); }

    // A drive answers while the bits so far match its number.
    void Answered(bool yes)
    {
        switch (state_) {
        case State::Any:
            if (!yes) return End(CCANDriver::FastscanResult::None);
            state_ = State::Bit;
            return AskBit();
        case State::Bit:
            if (!yes) id_ |= 1u << bit_;
            if (bit_-- > 0) return AskBit();
            // The whole number, confirmed; the next part is checked next.
            state_ = State::Confirm;
            return Ask(id_, 0, sub_, static_cast<uint8_t>(sub_ < 3 ? sub_ + 1 : 0));
        case State::Confirm: {
            if (!yes) return End(CCANDriver::FastscanResult::Failed);
            uint32_t* parts[4] = {&found_.vendorId, &found_.productCode, &found_.revisionNumber, &found_.serialNumber};
            *parts[sub_] = id_;
            if (++sub_ == 4) return End(CCANDriver::FastscanResult::Found);
            id_ = 0;
            bit_ = 31;
            state_ = State::Bit;
            return AskBit();
        }
        }
    }
    void End(CCANDriver::FastscanResult result)
    {
        if (done_) done_(result, found_);
        bus_.JobDone();
    }

    CCANDriver& bus_;
    int stepMs_;
    Done done_;
    CanAnswerWait wait_;
    State state_ = State::Any;
    uint8_t sub_ = 0;
    int bit_ = 31;
    uint32_t id_ = 0;
    LssIdentity found_;
};

}  // namespace

void CCANDriver::Fastscan(int stepMs, std::function<void(FastscanResult, const LssIdentity&)> done)
{
    Submit(std::make_unique<FastscanJob>(*this, stepMs, std::move(done)));
}

}  // namespace nalvexa
