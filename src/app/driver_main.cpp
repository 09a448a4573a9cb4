// SPDX-License-Identifier: MIT
#include "driver_main.h"

#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

#include "adapters/adapter_selection.h"
#include "channel_can_library.h"
#include "command_line.h"
#include "headless_shell.h"
#include "posix_text_files.h"
#include "qt_serial_device.h"
#include "qt_services.h"
#include "qt_tcp_listener.h"
#include "server/server_settings.h"
#include "trace_file.h"
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

bool HasDisplay()
{
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        if (const char* v = std::getenv(name); v && *v) return true;
    return false;
}

int DriverMain(int argc, char** argv, IWindowSupport* window)
{
    CommandLine line = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (!line.error.empty()) {
        std::fprintf(stderr, "nalvexa: %s\n\n%s", line.error.c_str(), kUsage);
        return 2;
    }
    if (line.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (line.version) {
        std::printf("nalvexa %s\n", kNalvexaVersion);
        return 0;
    }
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
    if (std::string reason; !ini.Readable(reason)) {
        // Starting on defaults would listen everywhere, open another port,
        // and save those over the user's file at the end.
        const std::string text = "cannot read settings file " + ini.path() + ": " + reason;
        if (!headless) notifier.message(text);
        std::fprintf(stderr, "%s\n", text.c_str());
        return 1;
    }
    ini.SetWriteFailureHandler([&notifier](const std::string& text) { notifier.message(text); });
    // The trace: the option, else the settings' "Trace" (empty: none).
    TraceFile traceFile;
    const std::string tracePath = line.trace ? line.traceFile : ini.GetString("SocketServer", "Trace", "");
    if (line.trace || !tracePath.empty()) {
        if (std::string reason; !traceFile.Open(tracePath, reason)) {
            const std::string text = "cannot open trace file " + tracePath + ": " + reason;
            if (!headless) notifier.message(text);
            std::fprintf(stderr, "%s\n", text.c_str());
            return 1;
        }
    }
    QtTimerHost timers;
    QtSleeper sleeper;
    QtTaskPoster poster;
    QtSerialDevice serial;
    QtTcpListener tcp;
    ChannelCanLibrary can;
    // The answer wait of the CAN library can be the old polling one, to compare them.
    const char* wait = std::getenv("NALVEXA_CAN_WAIT");
    CanWait canWait = wait && std::string(wait) == "doubling" ? CanWait::Doubling : CanWait::Event;

    // Without a keyword on the command line the settings may name the adapter
    // (so that a service instance is named after its drive, not its kind).
    const std::string keyword = line.keywordGiven ? line.keyword : ReadAdapterKeyword(ini);
    AdapterChoice choice = SelectAdapter(keyword);
    if (!headless) window->SetTitle(choice.title);
    AdapterHolder& holder = AdapterHolder::instance();
    holder.set(CreateAdapter(choice.kind, AdapterContext{timers, sleeper, notifier, ini, serial, can, canWait}));
    holder.adapter()->SetTitle(choice.title);

    ServerSockets server(tcp, holder, poster, notifier, timers);
    int exitCode = 0;
    if (headless) {
        HeadlessShell shell(server, holder, ini, notifier, poster, [&](int code) {
            exitCode = code;
            QCoreApplication::exit(code);
        });
        if (!choice.exact)
            shell.SetNote("keyword \"" + keyword + "\" is no adapter keyword: the LVT adapter serves");
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
