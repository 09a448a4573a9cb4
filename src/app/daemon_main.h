// SPDX-License-Identifier: MIT
#pragma once

namespace nalvexa {

// The driver without a window, on the Asio loop: the command line, the
// settings, the adapter, the server, until a close request or a signal.
// Returns the exit status.
int DaemonMain(int argc, char** argv);

}  // namespace nalvexa
