// SPDX-License-Identifier: MIT
// An engine for the window's tests: it records each command, carries out
// the few that change what the window shows, and tells the window at once,
// as the real engine does through its face.
#pragma once

#include "adapters/tr7100/adapter_tr7100.h"
#include "can/adapter_can.h"
#include "fake_engine.h"
#include "main_window.h"

namespace nalvexa::test {

class ModelEngine : public FakeEngine {
public:
    ModelEngine()
    {
        state.title = "Quarlin Axtelo 3.02 - TR7100 Driver";
        state.offer = CAdapterTR7100::Offered();
        state.listening = true;
        state.port = 12001;
        state.serial.emplace();
        state.serial->line.portName = "/dev/ttyS1";
        state.serial->retryTimeout = 500;
        state.serial->retries = 5;
        state.deviceState = "Port not open";
    }
    void MakeCan()
    {
        state.title = "Quarlin Axtelo 3.02 - CAN Driver";
        state.offer = CAdapterCAN::Offered();
        state.serial.reset();
        state.can.emplace();
        state.can->hardware.channel = "socketcan:can0";
        state.can->open = true;
    }

    void Listen(uint32_t port) override
    {
        FakeEngine::Listen(port);
        state.listening = port != refusedPort;
        state.port = port == 0 ? 40123 : port;
        state.listenError = state.listening ? "" : "127.0.0.1:" + std::to_string(port) + ": Address already in use";
        Tell();
    }
    void CloseListening() override
    {
        FakeEngine::CloseListening();
        state.listening = false;
        Tell();
    }
    void CloseClient() override
    {
        FakeEngine::CloseClient();
        state.clientConnected = false;
        Tell();
    }
    void SetTimeouts(int32_t retryTimeout, int32_t retries) override
    {
        FakeEngine::SetTimeouts(retryTimeout, retries);
        state.serial->retryTimeout = retryTimeout;
        state.serial->retries = retries;
        Tell();
    }
    void OpenPort() override
    {
        FakeEngine::OpenPort();
        state.serial->portOpen = true;
        Tell();
    }
    void ClosePort() override
    {
        FakeEngine::ClosePort();
        state.serial->portOpen = false;
        Tell();
    }
    void CanBusOn(const CanHardware& hw) override
    {
        FakeEngine::CanBusOn(hw);
        state.can->hardware = hw;
        state.can->open = true;
        Tell();
    }
    void CanBusOff() override
    {
        FakeEngine::CanBusOff();
        state.can->open = false;
        Tell();
    }

    void Tell()
    {
        if (window) window->Changed(state);
    }

    EngineState state;
    MainWindow* window = nullptr;
    uint32_t refusedPort = 0xFFFFFFFF;
};

}  // namespace nalvexa::test
