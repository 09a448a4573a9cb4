// SPDX-License-Identifier: MIT
// The seams between the server and the adapters.
#pragma once

#include <cstdint>
#include <string>

#include "server/adapter_offer.h"

namespace nalvexa {

class DriverRequest;

class IRequestReply {
public:
    virtual ~IRequestReply() = default;
    virtual void SendReply() = 0;
    virtual void SendBlock(const uint8_t* bytes, uint32_t count) = 0;
};

class IDriverAdapter {
public:
    virtual ~IDriverAdapter() = default;
    virtual std::string GetTitle() const = 0;
    virtual void SetTitle(const std::string& title) = 0;
    // Answers by calling SendReply on the request's replySink, now or later.
    virtual void Execute(DriverRequest* request) = 0;
    // Its menu and its setup dialog, for a face to show.
    virtual AdapterOffer Offer() const = 0;
    // A command of its menu that opens no dialog.
    virtual void RunCommand(int) {}
    virtual void SaveSettings() = 0;
    // The client has gone: undo what it switched for itself only.
    virtual void OnClientGone() {}
};

class ISerialAdapter : public IDriverAdapter {
public:
    virtual int32_t GetRetryTimeout() const = 0;
    virtual void SetRetryTimeout(int32_t ms) = 0;
    virtual int32_t GetMaxNoOfRetries() const = 0;
    virtual void SetMaxNoOfRetries(int32_t count) = 0;
    virtual std::string GetPortName() const = 0;
    virtual void SetPortName(const std::string& name) = 0;
    virtual int32_t GetBaudRate() const = 0;
    virtual void SetBaudRate(int32_t rate) = 0;
    virtual uint8_t GetParity() const = 0;
    virtual void SetParity(uint8_t parity) = 0;
    virtual uint8_t GetStopBits() const = 0;
    virtual void SetStopBits(uint8_t stopBits) = 0;
    virtual void OpenPort() = 0;
    virtual void ClosePort() = 0;
    virtual bool IsPortOpen() const = 0;
};

}  // namespace nalvexa
