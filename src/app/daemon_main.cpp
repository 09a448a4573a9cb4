// SPDX-License-Identifier: MIT
#include "daemon_main.h"

#include <asio/io_context.hpp>
#include <asio/signal_set.hpp>
#include <csignal>
#include <functional>

#include "asio_can_watch.h"
#include "asio_serial_device.h"
#include "asio_services.h"
#include "asio_tcp_listener.h"
#include "channel_can_library.h"
#include "driver_start.h"
#include "headless_shell.h"
#include "posted_tasks.h"
#include "stderr_notifier.h"
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

// A close request from outside (a terminal, a service manager) saves and
// ends, as the user's confirmed close does.
void WatchSignals(asio::signal_set& signals, HeadlessShell& shell)
{
    signals.async_wait(PostedTasks::After([&signals, &shell](const std::error_code& error, int) {
        if (error) return;
        shell.RequestClose();
        WatchSignals(signals, shell);
    }));
}

}  // namespace

int DaemonMain(int argc, char** argv)
{
    const CommandLine line = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (const int status = AnswerInformationalOptions(line); status >= 0) return status;
#ifndef _WIN32
    std::signal(SIGPIPE, SIG_IGN);
#endif

    StderrNotifier notifier;
    SystemTextFiles textFiles;
    IniFile ini(ResolveIniPath(line.iniFile), textFiles);
    TraceFile traceFile;
    if (!OpenSettingsAndTrace(line, ini, traceFile, notifier, false)) return 1;

    // The platform's services, the ini file and the adapter live until the loop ends.
    asio::io_context io(1);
    AsioTimerHost timers(io);
    AsioTaskPoster poster(io);
    AsioSerialDevice serial(io);
    AsioTcpListener tcp(io);
    ChannelCanLibrary can(AsioCanWatch::Factory(io));

    const ChosenAdapter chosen = ChooseAdapter(line, ini);
    AdapterHolder& holder = InstallAdapter(chosen, AdapterContext{timers, notifier, ini, serial, can});

    ServerSockets server(tcp, holder, poster, notifier, timers);
    int exitCode = 0;
    {
        HeadlessShell shell(server, holder, ini, notifier, poster, [&](int code) {
            exitCode = code;
            io.stop();
        });
        shell.SetNote(chosen.Note());
        asio::signal_set signals(io, SIGINT, SIGTERM);
#ifdef _WIN32
        signals.add(SIGBREAK);
#else
        signals.add(SIGHUP);
        signals.add(SIGQUIT);
#endif
        WatchSignals(signals, shell);
        if (shell.Start())
            io.run();
        else
            exitCode = 1;
    }
    // Ends the adapter while the loop's objects it uses still exist.
    holder.set(nullptr);
    return exitCode;
}

}  // namespace nalvexa
