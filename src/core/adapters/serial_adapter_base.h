#pragma once

#include <string>

#include "adapters/adapter_context.h"
#include "serial/serial_port.h"
#include "serial/serial_settings.h"
#include "server/adapter_interfaces.h"
#include "stack/retrying_link_layer.h"

namespace nalvexa {

// The settings operations every serial adapter shares: the title, the
// services, the port's line settings and the link layer's timing.
class SerialAdapterBase : public ISerialAdapter {
public:
    std::string GetTitle() const override { return title_; }
    void SetTitle(const std::string& title) override { title_ = title; }
    void SetServices(IAdapterServices* services) override { services_ = services; }
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
    void OpenPort() override { port_.Open(); }
    void ClosePort() override { port_.Close(); }
    bool IsPortOpen() const override { return port_.IsOpen(); }

    SerialPort& port() { return port_; }

protected:
    explicit SerialAdapterBase(const AdapterContext& context)
        : context_(context), port_(context.serial, context.notifier, context.timers)
    {
    }
    // The derived adapter names its link layer once its stack exists.
    void BindLink(LinkSettings& link) { link_ = &link; }
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
    IAdapterServices* services() const { return services_; }

    AdapterContext context_;
    SerialPort port_;

private:
    LinkSettings* link_ = nullptr;
    std::string title_;
    IAdapterServices* services_ = nullptr;
};

}  // namespace nalvexa
