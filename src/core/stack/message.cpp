// SPDX-License-Identifier: MIT
#include "stack/message.h"

#include <algorithm>
#include <cstring>

namespace nalvexa {

void ProtocolLayer::Receive(Message* message, IMessageReceiver* from)
{
    message->from = from;
    message->VisitLayer(this);
    if (message->stop) return;
    IMessageReceiver* next = message->from == upper ? lower : upper;
    if (next) next->Receive(message, this);
}

void EndpointNode::Receive(Message* message, IMessageReceiver*)
{
    message->VisitEnd(this);
}

bool Frame::Append(uint8_t byte)
{
    if (count < 0 || count >= static_cast<int32_t>(bytes.size())) return false;
    bytes[count++] = byte;
    return true;
}

bool Frame::Append(const uint8_t* from, int32_t n)
{
    if (n < 0 || count < 0 || n > static_cast<int32_t>(bytes.size()) - count) return false;
    std::memcpy(bytes.data() + count, from, static_cast<size_t>(n));
    count += n;
    return true;
}

bool Frame::InsertFront(const uint8_t* from, int32_t n)
{
    if (n < 0 || count < 0 || n > static_cast<int32_t>(bytes.size()) - count) return false;
    std::memmove(bytes.data() + n, bytes.data(), static_cast<size_t>(count));
    std::memcpy(bytes.data(), from, static_cast<size_t>(n));
    count += n;
    return true;
}

void Frame::RemoveFront(int32_t n)
{
    if (count <= 0) {
        count = 0;
        return;
    }
    n = std::clamp(n, 0, count);
    std::memmove(bytes.data(), bytes.data() + n, static_cast<size_t>(count - n));
    count -= n;
}

void Frame::RemoveBack(int32_t n)
{
    count = count <= 0 ? 0 : count - std::clamp(n, 0, count);
}

void Frame::CopyBytesFrom(const Frame& other)
{
    stop = other.stop;
    from = other.from;
    count = std::clamp(other.count, 0, static_cast<int32_t>(bytes.size()));
    std::memcpy(bytes.data(), other.bytes.data(), static_cast<size_t>(count));
}

}  // namespace nalvexa
