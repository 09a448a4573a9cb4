// SPDX-License-Identifier: MIT
#pragma once

#include <memory>
#include <string>

#include "adapters/adapter_context.h"
#include "serial/serial_port.h"
#include "serial/serial_settings.h"
#include "server/adapter_interfaces.h"
#include "stack/retrying_link.h"
#include "stack/transaction_layer.h"
#include "trace/trace.h"

namespace nalvexa {

// The settings operations every serial adapter shares: the title, the
// services, the port's line settings and the link layer's timing (with
// "QuietInterval" and "InterFrameSilence", read from the settings file and
// kept there); and the port's life: a device that goes away ends every
// request at once with status 6, and is opened again every "ReopenInterval"
// ms until it is back, as is one that could not be opened at start-up. A port
// the user closed stays closed.
class SerialAdapterBase : public ISerialAdapter {
public:
    std::string GetTitle() const override { return title_; }
    void SetTitle(const std::string& title) override { title_ = title; }
    void SaveSettings() override { SaveSerialSettings(context_.ini, *this); }

    int32_t GetRetryTimeout() const override { return link_->responseInterval(); }
    void SetRetryTimeout(int32_t ms) override { link_->setResponseInterval(ms); }
    int32_t GetMaxNoOfRetries() const override { return link_->maxRepetitions(); }
    void SetMaxNoOfRetries(int32_t count) override { link_->setMaxRepetitions(count); }
    std::string GetPortName() const override { return port_.portName(); }
    void SetPortName(const std::string& name) override { port_.setPortName(name); }
    int32_t GetBaudRate() const override { return port_.baudRate(); }
    void SetBaudRate(int32_t rate) override { port_.setBaudRate(rate); }
    uint8_t GetParity() const override { return port_.parity(); }
    void SetParity(uint8_t parity) override { port_.setParity(parity); }
    uint8_t GetStopBits() const override { return port_.stopBits(); }
    void SetStopBits(uint8_t stopBits) override { port_.setStopBits(stopBits); }
    void OpenPort() override
    {
        wantOpen_ = true;
        reopen_->stop();
        if (!port_.Open()) KeepTrying();
    }
    void ClosePort() override
    {
        wantOpen_ = false;
        reopen_->stop();
        port_.Close();
    }
    bool IsPortOpen() const override { return port_.IsOpen(); }

    SerialPort& port() { return port_; }
    RetryingLink& link() { return *link_; }
    int reopenInterval() const { return reopenIntervalMs_; }

protected:
    static constexpr int kDefaultReopenMs = 1000;

    explicit SerialAdapterBase(const AdapterContext& context)
        : context_(context), port_(context.serial, context.notifier, context.timers)
    {
        reopenIntervalMs_ = context.ini.GetInt(kSerialSection, "ReopenInterval", "1000");
        reopen_ = context.timers.createTimer([this] { TryReopen(); });
        port_.SetLostHandler([this](const std::string& reason) { PortLost(reason); });
    }
    // The derived adapter names its request queue and link layer once its stack exists.
    void BindLink(TransactionLayer& queue, RetryingLink& link)
    {
        queue_ = &queue;
        link_ = &link;
        link.SetLine(&port_);
        link.setQuietInterval(context_.ini.GetInt(kSerialSection, "QuietInterval", "-1"));
        link.setInterFrameSilence(context_.ini.GetInt(kSerialSection, "InterFrameSilence", "0"));
        link.SetNeverQuietReport([this](const std::string& what) {
            ReportState(context_.notifier, "line never quiet: " + port_.portName() + ": " + what);
        });
    }
    // Puts every layer back to rest: no timer running, nothing awaited.
    virtual void ResetStack() = 0;
    // Wires a stack of three layers between the request queue and the port.
    void WireStack(EndpointNode& queue, ProtocolLayer& top, ProtocolLayer& middle, ProtocolLayer& bottom)
    {
        queue.neighbour = &top;
        top.upper = &queue;
        top.lower = &middle;
        middle.upper = &top;
        middle.lower = &bottom;
        bottom.upper = &middle;
        bottom.lower = &port_;
        port_.neighbour = &bottom;
    }

    AdapterContext context_;
    SerialPort port_;

private:
    void PortLost(const std::string& reason)
    {
        ReportState(context_.notifier, "port lost " + port_.portName() + ": " + reason);
        ResetStack();
        if (queue_) queue_->FailAll(6);
        if (wantOpen_) KeepTrying();
    }
    void KeepTrying()
    {
        if (wantOpen_ && reopenIntervalMs_ > 0) reopen_->start(reopenIntervalMs_);
    }
    void TryReopen()
    {
        reopen_->stop();
        if (!wantOpen_) return;
        if (port_.Open(true))
            ReportState(context_.notifier, "port reopened " + port_.portName());
        else
            KeepTrying();
    }

    TransactionLayer* queue_ = nullptr;
    RetryingLink* link_ = nullptr;
    std::unique_ptr<ITimer> reopen_;
    int reopenIntervalMs_ = kDefaultReopenMs;
    bool wantOpen_ = false;
    std::string title_;
};

}  // namespace nalvexa
