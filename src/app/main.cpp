// SPDX-License-Identifier: MIT
// nalvexa: the driver. With a display (and without --headless) it shows its
// window, which the package nalvexa-gui adds; without that package, or
// without a display, it runs headless on its own lean loop. On Windows it is
// headless always, as a console program or as a service.
#include <cstdio>
#include <string>

#include "command_line.h"
#include "daemon_main.h"
#ifdef _WIN32
#include "windows_service.h"
#endif

#ifndef _WIN32
#include <climits>
#include <cstdlib>
#include <unistd.h>
#endif

using namespace nalvexa;

namespace {

#ifndef _WIN32
// The window program beside this one.
std::string WindowProgram()
{
    char self[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return {};
    std::string path(self, static_cast<size_t>(n));
    return path.substr(0, path.rfind('/') + 1) + "nalvexa-gui";
}
#endif

}  // namespace

int main(int argc, char** argv)
{
#ifndef _WIN32
    CommandLine line = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (line.error.empty() && !line.help && !line.version && !line.headless && HasDisplay()) {
        const std::string program = WindowProgram();
        if (!program.empty() && ::access(program.c_str(), X_OK) == 0) {
            argv[0] = const_cast<char*>(program.c_str());
            ::execv(program.c_str(), argv);
        }
        std::fprintf(stderr, "nalvexa: no window here (the package nalvexa-gui adds it): running headless\n");
    }
#else
    if (const int status = RunAsWindowsService(argc, argv, DaemonMain); status >= 0) return status;
#endif
    return DaemonMain(argc, argv);
}
