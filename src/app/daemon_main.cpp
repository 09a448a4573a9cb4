// SPDX-License-Identifier: MIT
#include "daemon_main.h"

#include <csignal>

#include "driver_start.h"
#include "engine.h"
#include "headless_shell.h"
#ifdef _WIN32
#include "settings/portable_text_files.h"
#else
#include "posix_text_files.h"
#endif

namespace nalvexa {

namespace {

#ifdef _WIN32
using SystemTextFiles = PortableTextFiles;
#else
using SystemTextFiles = PosixTextFiles;
#endif

}  // namespace

int DaemonMain(int argc, char** argv)
{
    const CommandLine line = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (const int status = AnswerInformationalOptions(line); status >= 0) return status;
#ifndef _WIN32
    std::signal(SIGPIPE, SIG_IGN);
#endif
    SystemTextFiles files;
    Engine engine(line, files);
    HeadlessShell shell(engine);
    return engine.Run(shell, [&shell](const Engine::Started& started) { return shell.Started(started); });
}

}  // namespace nalvexa
