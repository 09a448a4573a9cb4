// SPDX-License-Identifier: MIT
#include "driver_main.h"

#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

#include "channel_can_library.h"
#include "qt_can_watch.h"
#include "driver_start.h"
#include "headless_shell.h"
#include "posix_text_files.h"
#include "qt_serial_device.h"
#include "qt_services.h"
#include "qt_tcp_listener.h"
#include "stderr_notifier.h"
#include "version.h"

namespace nalvexa {

namespace {

int g_signalPipe[2] = {-1, -1};

void OnSignal(int)
{
    char c = 1;
    [[maybe_unused]] ssize_t n = ::write(g_signalPipe[1], &c, 1);
}

// SIGINT, SIGTERM, SIGHUP and SIGQUIT reach the loop as an event: each saves and ends.
std::unique_ptr<QSocketNotifier> CatchSignals(std::function<void()> onSignal)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0) return nullptr;
    auto notifier = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, [onSignal] {
        char c;
        [[maybe_unused]] ssize_t n = ::read(g_signalPipe[0], &c, 1);
        onSignal();
    });
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) std::signal(s, OnSignal);
    return notifier;
}

}  // namespace

int DriverMain(int argc, char** argv, IWindowSupport* window)
{
    CommandLine line = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (const int status = AnswerInformationalOptions(line); status >= 0) return status;
    const bool headless = line.headless || !HasDisplay() || !window;
    std::signal(SIGPIPE, SIG_IGN);

    std::unique_ptr<QCoreApplication> app =
        headless ? std::make_unique<QCoreApplication>(argc, argv) : window->MakeApplication(argc, argv);
    QCoreApplication::setApplicationName("nalvexa");
    QCoreApplication::setApplicationVersion(kNalvexaVersion);

    StderrNotifier stderrNotifier;
    IUserNotifier& notifier = headless ? static_cast<IUserNotifier&>(stderrNotifier) : window->Notifier();

    // The platform's services, the ini file and the adapter live until the loop ends.
    PosixTextFiles textFiles;
    IniFile ini(ResolveIniPath(line.iniFile), textFiles);
    TraceFile traceFile;
    if (!OpenSettingsAndTrace(line, ini, traceFile, notifier, !headless)) return 1;
    QtTimerHost timers;
    QtTaskPoster poster;
    QtSerialDevice serial;
    QtTcpListener tcp;
    ChannelCanLibrary can(QtCanWatch::Factory());

    const ChosenAdapter chosen = ChooseAdapter(line, ini);
    if (!headless) window->SetTitle(chosen.choice.title);
    AdapterHolder& holder = InstallAdapter(chosen, AdapterContext{timers, notifier, ini, serial, can});

    ServerSockets server(tcp, holder, poster, notifier, timers);
    int exitCode = 0;
    if (headless) {
        HeadlessShell shell(server, holder, ini, notifier, poster, [&](int code) {
            exitCode = code;
            QCoreApplication::exit(code);
        });
        shell.SetNote(chosen.Note());
        auto signalWatch = CatchSignals([&] { shell.RequestClose(); });
        if (shell.Start())
            app->exec();
        else
            exitCode = 1;
    } else {
        std::unique_ptr<QSocketNotifier> signalWatch;
        exitCode = window->Run(server, holder, ini, [&](std::function<void()> onSignal) {
            signalWatch = CatchSignals(std::move(onSignal));
        });
    }
    // Ends the adapter while the loop's objects it uses still exist.
    holder.set(nullptr);
    return exitCode;
}

}  // namespace nalvexa
