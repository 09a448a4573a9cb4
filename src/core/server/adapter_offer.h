// SPDX-License-Identifier: MIT
// What an adapter offers an operator: its menu and its setup dialog, as
// data that a face turns into widgets.
#pragma once

#include <string>
#include <vector>

namespace nalvexa {

// The window's commands, by their menu identifiers.
enum MenuCommand : int {
    kShowSetup = 32777,
    kAbout = 32778,
    kCanHardware = 32779,
    kCanNodeId = 32780,
    kCanNmt = 32781,
    kCanLss = 32782,
    kCanMessageTest = 32783,
    kQmrTimeouts = 32784,
    kQmrSerialPort = 32785,
    kQmrMode = 32790,
    kLvtTimeouts = 32791,
    kLvtSerialPort = 32792,
    kTr7100Timeouts = 32793,
    kTr7100SerialPort = 32794,
    kTrace = 32800,
};

struct MenuEntry {
    std::string text;  // empty: a separator
    int command = 0;
};

enum class SetupDialog { Serial, Can };

struct AdapterOffer {
    // The "Protocol" menu's own entries (the trace and "Help" are every adapter's).
    std::vector<MenuEntry> menu;
    SetupDialog setup = SetupDialog::Serial;
    std::string setupTitle;
    // The serial setup's button that runs this adapter command (0: none).
    int setupCommand = 0;
};

}  // namespace nalvexa
