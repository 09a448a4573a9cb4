// SPDX-License-Identifier: MIT
#pragma once

#include <functional>

#include "platform.h"
#include "server/adapter_holder.h"
#include "server/server_events.h"
#include "server/server_sockets.h"
#include "settings/ini_file.h"

namespace nalvexa {

// The program without its window: it starts listening at once, reports on
// stdout and stderr, and closes on the client's close-driver request or a signal.
class HeadlessShell : public IServerEvents, public IAdapterServices {
public:
    HeadlessShell(ServerSockets& server, AdapterHolder& holder, IniFile& ini, IUserNotifier& notifier,
                  ITaskPoster& poster, std::function<void(int)> quit);

    // A line printed after the title (how the adapter was chosen).
    void SetNote(const std::string& note) { note_ = note; }
    // False when the port could not be opened.
    bool Start();
    // A close request from the user (a signal): ask, then save and quit.
    void RequestClose();

    void Refresh() override;
    void CloseWithoutConfirmation() override;

    // No window: there is nothing to show a setup dialog or a menu on.
    void ShowQmrSetup() override {}
    void ShowTr7100Setup() override {}
    void ShowLvtSetup() override {}
    void ShowCanSetup() override {}
    void InstallQmrMenu() override {}
    void InstallTr7100Menu() override {}
    void InstallLvtMenu() override {}
    void InstallCanMenu() override {}

private:
    ServerSockets& server_;
    AdapterHolder& holder_;
    IniFile& ini_;
    IUserNotifier& notifier_;
    ITaskPoster& poster_;
    std::function<void(int)> quit_;
    std::string note_;
    bool askBeforeClosing_ = true;
    bool closed_ = false;
};

}  // namespace nalvexa
