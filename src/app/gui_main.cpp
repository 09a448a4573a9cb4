// SPDX-License-Identifier: MIT
// nalvexa-gui: the driver with its window. The engine runs on a thread of
// its own, the window on the main thread; headless (with --headless or
// without a display) it is the daemon.
#include <QApplication>
#include <csignal>
#include <future>
#include <thread>

#include "daemon_main.h"
#include "driver_start.h"
#include "engine.h"
#include "gui_notifier.h"
#include "posix_text_files.h"
#include "version.h"
#include "window_face.h"

using namespace nalvexa;

int main(int argc, char** argv)
{
    const CommandLine line = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (const int status = AnswerInformationalOptions(line); status >= 0) return status;
    if (line.headless || !HasDisplay()) return DaemonMain(argc, argv);
    std::signal(SIGPIPE, SIG_IGN);

    QApplication app(argc, argv);
    QCoreApplication::setApplicationName("nalvexa");
    QCoreApplication::setApplicationVersion(kNalvexaVersion);
    GuiNotifier boxes;
    QObject context;
    WindowFace face(context);
    PosixTextFiles files;
    Engine engine(line, files);

    std::promise<Engine::Started> started;
    int status = 1;
    std::thread loop([&] {
        status = engine.Run(face, [&](const Engine::Started& s) {
            started.set_value(s);
            return s.failure.empty();
        });
    });
    const Engine::Started s = started.get_future().get();
    if (!s.failure.empty()) {
        loop.join();
        boxes.Say(s.failure);
        return 1;
    }
    boxes.SetCaption(QString::fromStdString(s.state.title));
    {
        MainWindow window(engine, boxes, kNalvexaVersion, s.state);
        face.Attach(&window);
        window.Initialise();
        window.exec();
        face.Attach(nullptr);
    }
    engine.Close();  // also when the window ended otherwise
    loop.join();
    return status;
}
