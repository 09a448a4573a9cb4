// SPDX-License-Identifier: MIT
#pragma once

#include "can/can_driver.h"
#include "platform.h"
#include "settings/ini_file.h"

namespace nalvexa {

// What an adapter is given by start-up: the platform's services and the ini file.
struct AdapterContext {
    ITimerHost& timers;
    IUserNotifier& notifier;
    IniFile& ini;
    ISerialDevice& serial;  // the device behind a serial adapter's port
    ICanLibrary& can;       // the library behind the CAN adapter
    CanWait canWait = CanWait::Event;
};

}  // namespace nalvexa
