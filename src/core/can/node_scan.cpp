// SPDX-License-Identifier: MIT
// Finding drives: which node-IDs answer an SDO read of the device type, all
// asked at once, the answers taken in any order until the time is up.
#include <algorithm>
#include <memory>

#include "can/can_driver.h"
#include "can/sdo_answer.h"

namespace nalvexa {

namespace {

constexpr uint16_t kDeviceType = 0x1000;
constexpr uint8_t kLastNode = 127;
constexpr int kFullRetries = 200;  // a full transmit queue is waited out, 1 ms at a time

CanMessage SdoRequest(uint8_t node, uint8_t command)
{
    CanMessage f;
    f.id = 0x600u + node;
    f.length = 8;
    f.data[0] = command;
    f.data[1] = static_cast<uint8_t>(kDeviceType);
    f.data[2] = static_cast<uint8_t>(kDeviceType >> 8);
    return f;
}

class NodeScan : public CanJob {
public:
    using Done = std::function<void(const std::vector<CCANDriver::Node>&)>;

    NodeScan(CCANDriver& bus, int answerMs, Done done) : bus_(bus), answerMs_(answerMs), done_(std::move(done))
    {
        retry_ = bus.clock().createTimer([this] { AskNext(); });
        deadline_ = bus.clock().createTimer([this] { TimeUp(); });
    }

    void Start() override
    {
        bus_.SetScanning(true);
        bus_.FlushReceiveQueue();
        AskNext();
    }
    bool Awaits(const CanMessage& f) const override
    {
        if (f.id < 0x581 || f.id > 0x5FF || seen_[f.id - 0x580]) return false;
        return SdoAnswer::Initiate(f.id, 0xE0, 0x40, kDeviceType, 0).Matches(f);
    }
    void Take(const CanMessage& answer) override
    {
        const uint8_t node = static_cast<uint8_t>(answer.id - 0x580);
        seen_[node] = true;
        const bool aborted = answer.data[0] == 0x80;
        const bool expedited = !aborted && (answer.data[0] & 0x02);
        found_.push_back({node, can::LittleEndian32(answer.data + 4), expedited, aborted});
        if (!aborted && !expedited) {
            // A segmented answer would leave the node's SDO server waiting for us.
            CanMessage abort = SdoRequest(node, 0x80);
            abort.data[7] = 0x08;  // general error
            bus_.Send(abort);
        }
    }
    void Failed(uint32_t) override {}

private:
    // Every node is asked at once; a full transmit queue is waited out rather than leaving nodes unasked.
    void AskNext()
    {
        retry_->stop();
        while (next_ <= kLastNode) {
            if (bus_.Send(SdoRequest(next_, 0x40)) == can::kXmtFull && ++tries_ < kFullRetries) {
                retry_->start(1);
                return;
            }
            tries_ = 0;
            ++next_;
        }
        deadline_->start(answerMs_);
        bus_.AnswerAwaited();
    }
    void TimeUp()
    {
        deadline_->stop();
        bus_.LookNow();  // what has come by now still counts
        bus_.SetScanning(false);
        std::sort(found_.begin(), found_.end(), [](const auto& a, const auto& b) { return a.id < b.id; });
        if (done_) done_(found_);
        bus_.JobDone();
    }

    CCANDriver& bus_;
    int answerMs_;
    Done done_;
    std::unique_ptr<ITimer> retry_, deadline_;
    uint8_t next_ = 1;
    int tries_ = 0;
    bool seen_[128] = {};
    std::vector<CCANDriver::Node> found_;
};

}  // namespace

void CCANDriver::ScanNodes(int answerMs, std::function<void(const std::vector<Node>&)> done)
{
    Submit(std::make_unique<NodeScan>(*this, answerMs, std::move(done)));
}

}  // namespace nalvexa
