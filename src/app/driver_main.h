// SPDX-License-Identifier: MIT
#pragma once

#include <QCoreApplication>
#include <functional>
#include <memory>
#include <string>

#include "platform.h"
#include "server/adapter_holder.h"
#include "server/server_sockets.h"
#include "command_line.h"
#include "settings/ini_file.h"

namespace nalvexa {

// What the window build adds to the driver: its application object, its
// message boxes, and the window itself.
class IWindowSupport {
public:
    virtual ~IWindowSupport() = default;
    virtual std::unique_ptr<QCoreApplication> MakeApplication(int& argc, char** argv) = 0;
    virtual IUserNotifier& Notifier() = 0;
    // The adapter's title, for the boxes' captions.
    virtual void SetTitle(const std::string& title) = 0;
    // Runs the window until it closes; `onSignal` is told what a signal does.
    virtual int Run(ServerSockets& server, AdapterHolder& holder, IniFile& ini,
                    const std::function<void(std::function<void()>)>& onSignal) = 0;
};

// The whole program: the command line, the settings, the adapter, the server,
// then the window (when `window` is given and there is a display) or the
// headless loop. Returns the exit status.
int DriverMain(int argc, char** argv, IWindowSupport* window);

}  // namespace nalvexa
