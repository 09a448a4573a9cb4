// SPDX-License-Identifier: MIT
#pragma once

namespace nalvexa {

// Started by the Windows service manager, runs `program` as the service
// named in its configuration, tells the manager its state, and turns the
// manager's stop (or the system's shut-down) into the close that SIGTERM is
// elsewhere. Started otherwise, returns -1 at once and does nothing.
int RunAsWindowsService(int argc, char** argv, int (*program)(int, char**));

}  // namespace nalvexa
