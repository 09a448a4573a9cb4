// SPDX-License-Identifier: MIT
#pragma once

#include "engine.h"

namespace nalvexa {

// The face of the program without its window, on the engine's thread: it
// reports on stdout and stderr, and closes on the client's close-driver
// request or a signal.
class HeadlessShell : public IFace {
public:
    explicit HeadlessShell(Engine& engine) : engine_(engine) {}

    // Prints the title and how it listens; false when the program must end with 1.
    bool Started(const Engine::Started& started);

    void Changed(const EngineState&) override {}
    void Message(const std::string& text, Caption) override;
    void Logged(const std::string& line) override { Message(line, Caption::Title); }
    void TraceLine(const std::string&) override {}
    void CloseRequested(CloseCause cause) override;
    void IdentityInquired(const LssIdentity&) override {}
    void TestFrameRead(uint32_t, const CanMessage&) override {}

private:
    Engine& engine_;
};

}  // namespace nalvexa
