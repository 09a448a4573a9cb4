// SPDX-License-Identifier: MIT
#pragma once

#include "server/adapter_interfaces.h"
#include "server/driver_request.h"

namespace nalvexa::test {

// A serial adapter that only keeps its settings and counts what is asked of it.
class FakeSerialAdapter : public ISerialAdapter {
public:
    std::string GetTitle() const override { return title; }
    void SetTitle(const std::string& t) override { title = t; }
    void SetServices(IAdapterServices* s) override { services = s; }
    void Execute(DriverRequest* request) override { request->replySink->SendReply(); }
    void ShowSetup() override { ++setups; }
    void InstallMenu() override
    {
        if (services) services->InstallTr7100Menu();
    }
    void SaveSettings() override { ++saves; }
    int32_t GetRetryTimeout() const override { return retryTimeout; }
    void SetRetryTimeout(int32_t ms) override { retryTimeout = ms; }
    int32_t GetMaxNoOfRetries() const override { return retries; }
    void SetMaxNoOfRetries(int32_t n) override { retries = n; }
    std::string GetPortName() const override { return portName; }
    void SetPortName(const std::string& n) override { portName = n; }
    int32_t GetBaudRate() const override { return baudRate; }
    void SetBaudRate(int32_t r) override { baudRate = r; }
    uint8_t GetParity() const override { return parity; }
    void SetParity(uint8_t p) override { parity = p; }
    uint8_t GetStopBits() const override { return stopBits; }
    void SetStopBits(uint8_t s) override { stopBits = s; }
    void OpenPort() override
    {
        ++opens;
        open = true;
    }
    void ClosePort() override { open = false; }
    bool IsPortOpen() const override { return open; }

    std::string title = "Quarlin Axtelo 3.02 - TR7100 Driver";
    IAdapterServices* services = nullptr;
    int setups = 0, saves = 0, opens = 0;
    int32_t retryTimeout = 500, retries = 0, baudRate = 19200;
    std::string portName = "COM1:";
    uint8_t parity = 0, stopBits = 0;
    bool open = false;
};

}  // namespace nalvexa::test
