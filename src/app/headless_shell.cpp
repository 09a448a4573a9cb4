// SPDX-License-Identifier: MIT
#include "headless_shell.h"

#include <cstdio>

#include "server/server_settings.h"

namespace nalvexa {

HeadlessShell::HeadlessShell(ServerSockets& server, AdapterHolder& holder, IniFile& ini,
                             IUserNotifier& notifier, ITaskPoster& poster, std::function<void(int)> quit)
    : server_(server), holder_(holder), ini_(ini), notifier_(notifier), poster_(poster), quit_(std::move(quit))
{
}

bool HeadlessShell::Start()
{
    IDriverAdapter* adapter = holder_.adapter();
    std::printf("%s\n", adapter->GetTitle().c_str());
    if (!note_.empty()) std::printf("%s\n", note_.c_str());
    std::fflush(stdout);
    adapter->SetServices(this);
    adapter->InstallMenu();
    server_.SetEvents(this);
    ApplyServerSettings(ini_, server_);
    uint32_t port = ReadSocketPort(ini_);
    server_.Open(port);
    WriteSocketPort(ini_, port);  // written whether or not the port could be opened
    if (!server_.listener().isOpen) {
        std::fprintf(stderr, "cannot listen on %s\n", server_.listener().OpenError().c_str());
        return false;
    }
    // Announced once the port is saved, so that whoever waits for it finds the file complete.
    std::printf("listening on port %u\n", server_.listener().Port());
    std::fflush(stdout);
    return true;
}

void HeadlessShell::Refresh()
{
    // Nothing to redraw without a window.
}

void HeadlessShell::CloseWithoutConfirmation()
{
    askBeforeClosing_ = false;
    // After the current event, so that the one-byte answer leaves first.
    poster_.post([this] { RequestClose(); });
}

void HeadlessShell::RequestClose()
{
    if (closed_) return;
    if (askBeforeClosing_ && notifier_.askYesNoCancel("Are you sure you want to close the driver?") != Answer::Yes)
        return;
    closed_ = true;
    holder_.adapter()->SaveSettings();
    server_.connection().Drain();
    quit_(0);
}

}  // namespace nalvexa
