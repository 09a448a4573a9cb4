// SPDX-License-Identifier: MIT
#include "window_logic.h"

#include "field_rules.h"

namespace nalvexa {

WindowLogic::WindowLogic(IEngine& engine, IDialogHost& host, const EngineState& state)
    : engine_(engine), host_(host), port_(state.port), portText_(std::to_string(state.port))
{
    Update(state);
}

void WindowLogic::Update(const EngineState& state)
{
    state_ = state;
    // The port it really listens on, also when 0 let the system choose.
    if (state_.listening) portText_ = std::to_string(state_.port);
}

void WindowLogic::Open()
{
    // The field never keeps a text that was refused: it shows the port in use.
    if (Refusal r = ReadUnsigned(portText_, port_)) {
        host_.Say(*r);
        portText_ = std::to_string(port_);
    }
    engine_.Listen(port_);
}

void WindowLogic::CloseSocket()
{
    engine_.CloseClient();
    engine_.CloseListening();
}

void WindowLogic::CloseClient() { engine_.CloseClient(); }

std::string WindowLogic::socketStatus() const
{
    return state_.listenError.empty() ? std::string() : "Cannot listen: " + state_.listenError;
}

}  // namespace nalvexa
