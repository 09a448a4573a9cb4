// SPDX-License-Identifier: MIT
#pragma once

#include <string>

#include "dialog_host.h"
#include "face.h"

namespace nalvexa {

// The main window: the port field and its buttons, the client's, and the
// three state lines.
class WindowLogic {
public:
    static constexpr const char* kCloseQuestion = "Are you sure you want to close the driver?";

    WindowLogic(IEngine& engine, IDialogHost& host, const EngineState& state);

    void Update(const EngineState& state);
    const EngineState& state() const { return state_; }

    // The port field as typed, and as it shows.
    void SetPortText(const std::string& text) { portText_ = text; }
    const std::string& portText() const { return portText_; }

    // "Open": the port typed (a refused text is said and the port in use kept).
    void Open();
    // "Close": the client, then the listening socket.
    void CloseSocket();
    void CloseClient();
    // The operator closes the window: true when the driver is to close.
    bool MayClose() { return host_.Ask(kCloseQuestion); }

    bool openEnabled() const { return !state_.listening; }
    bool closeEnabled() const { return state_.listening; }
    bool clientCloseEnabled() const { return state_.clientConnected; }
    std::string clientStatus() const { return state_.clientConnected ? "Client connected" : "Client not connected"; }
    // "Cannot listen: ..." after a failed listen, else empty.
    std::string socketStatus() const;
    const std::string& deviceStatus() const { return state_.deviceState; }

private:
    IEngine& engine_;
    IDialogHost& host_;
    EngineState state_;
    uint32_t port_;  // the port last accepted from the field
    std::string portText_;
};

}  // namespace nalvexa
