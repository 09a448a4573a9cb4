// SPDX-License-Identifier: MIT
// The protocol-stack base classes: nodes through which messages travel
// between an adapter's request queue (top) and the serial port (bottom).
#pragma once

#include <array>
#include <cstdint>

#include "server/driver_request.h"

namespace nalvexa {

class Message;
class ProtocolLayer;
class EndpointNode;

class IMessageReceiver {
public:
    virtual ~IMessageReceiver() = default;
    virtual void Receive(Message* message, IMessageReceiver* from) = 0;
};

class ProtocolLayer : public IMessageReceiver {
public:
    IMessageReceiver* lower = nullptr;  // toward the device
    IMessageReceiver* upper = nullptr;  // toward the request queue

    // Processes the message, then passes it on in its direction of travel
    // unless Process set its stop flag.
    void Receive(Message* message, IMessageReceiver* from) override;
    virtual void Process(Message* message) = 0;
};

class EndpointNode : public IMessageReceiver {
public:
    IMessageReceiver* neighbour = nullptr;

    void Receive(Message* message, IMessageReceiver* from) override;
    virtual void Process(Message* message) = 0;
};

class Message {
public:
    virtual ~Message() = default;
    virtual void VisitLayer(ProtocolLayer* layer) = 0;
    virtual void VisitEnd(EndpointNode* node) = 0;

    bool stop = false;
    IMessageReceiver* from = nullptr;
};

// Bytes on their way through a stack. The buffer lives inside the object.
class Frame : public Message {
public:
    std::array<uint8_t, kRequestDataSize> bytes{};
    int32_t count = 0;

    // Each refuses what would not fit and reports it.
    bool Append(uint8_t byte);
    bool Append(const uint8_t* from, int32_t n);
    bool InsertFront(const uint8_t* from, int32_t n);
    // Removes up to n bytes from the front.
    void RemoveFront(int32_t n);
    void RemoveBack(int32_t n);

protected:
    void CopyBytesFrom(const Frame& other);
};

// Frames of one protocol: visiting any node runs its Process with the frame.
template <class Derived>
class FrameOf : public Frame {
public:
    void VisitLayer(ProtocolLayer* layer) override { layer->Process(this); }
    void VisitEnd(EndpointNode* node) override { node->Process(this); }
};

}  // namespace nalvexa
