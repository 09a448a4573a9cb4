// SPDX-License-Identifier: MIT
// Finding drives: which node-IDs answer an SDO read of the device type.
#include <algorithm>

#include "can/can_driver.h"
#include "can/sdo_answer.h"

namespace nalvexa {

namespace {

constexpr uint16_t kDeviceType = 0x1000;

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

}  // namespace

std::vector<CCANDriver::Node> CCANDriver::ScanNodes(int answerMs)
{
    FlushReceiveQueue();
    // Every node is asked at once; the answers come in any order. A full
    // transmit queue is waited out rather than leaving nodes unasked.
    for (uint8_t node = 1; node <= 127; ++node) {
        uint32_t result = Send(SdoRequest(node, 0x40));
        for (int tries = 0; result == can::kXmtFull && tries < 200; ++tries) {
            sleeper_.sleepMs(1);
            result = Send(SdoRequest(node, 0x40));
        }
    }
    std::vector<Node> found;
    bool seen[128] = {};
    const AnswerMatch deviceType = [&](const CanMessage& f) {
        if (f.id < 0x581 || f.id > 0x5FF || seen[f.id - 0x580]) return false;
        return SdoAnswer::Initiate(f.id, 0xE0, 0x40, kDeviceType, 0).Matches(f);
    };
    const int64_t start = clock_.nowMs();
    CanMessage answer;
    for (;;) {
        const int64_t left = answerMs - (clock_.nowMs() - start);
        if (left <= 0 || !Await(answer, deviceType, static_cast<int>(left))) break;
        const uint8_t node = static_cast<uint8_t>(answer.id - 0x580);
        seen[node] = true;
        const bool aborted = answer.data[0] == 0x80;
        const bool expedited = !aborted && (answer.data[0] & 0x02);
        found.push_back({node, can::LittleEndian32(answer.data + 4), expedited, aborted});
        if (!aborted && !expedited) {
            // A segmented answer would leave the node's SDO server waiting for us.
            CanMessage abort = SdoRequest(node, 0x80);
            abort.data[7] = 0x08;  // general error
            Send(abort);
        }
    }
    std::sort(found.begin(), found.end(), [](const Node& a, const Node& b) { return a.id < b.id; });
    return found;
}

}  // namespace nalvexa
