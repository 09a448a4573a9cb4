// SPDX-License-Identifier: MIT
#include "headless_shell.h"

#include <cstdio>

namespace nalvexa {

bool HeadlessShell::Started(const Engine::Started& started)
{
    if (!started.failure.empty()) return false;
    std::printf("%s\n", started.state.title.c_str());
    if (!started.note.empty()) std::printf("%s\n", started.note.c_str());
    std::fflush(stdout);
    if (!started.state.listening) {
        std::fprintf(stderr, "cannot listen on %s\n", started.state.listenError.c_str());
        return false;
    }
    // Announced once the port is saved, so that whoever waits for it finds the file complete.
    std::printf("listening on port %u\n", started.state.port);
    std::fflush(stdout);
    return true;
}

void HeadlessShell::Message(const std::string& text, Caption)
{
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
}

void HeadlessShell::CloseRequested(CloseCause cause)
{
    // Nothing is asked here: the log says why the driver ends.
    Message(cause == CloseCause::Signal ? "closing the driver on a signal" : "closing the driver at the client's request",
            Caption::Title);
    engine_.Close();
}

}  // namespace nalvexa
