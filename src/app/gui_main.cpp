// SPDX-License-Identifier: MIT
// nalvexa-gui: the driver with its window (headless too, with --headless or
// without a display).
#include <QApplication>

#include "driver_main.h"
#include "gui_notifier.h"
#include "main_window.h"
#include "version.h"

using namespace nalvexa;

namespace {

class Window : public IWindowSupport {
public:
    std::unique_ptr<QCoreApplication> MakeApplication(int& argc, char** argv) override
    {
        return std::make_unique<QApplication>(argc, argv);
    }
    IUserNotifier& Notifier() override { return notifier_; }
    void SetTitle(const std::string& title) override { notifier_.SetCaption(QString::fromStdString(title)); }
    int Run(ServerSockets& server, AdapterHolder& holder, IniFile& ini,
            const std::function<void(std::function<void()>)>& onSignal) override
    {
        MainWindow window(server, holder, ini, notifier_, kNalvexaVersion);
        notifier_.onState = [&window](const std::string& line) { window.ShowDeviceState(line); };
        // A signal closes the window as the client's close request does: without the question.
        onSignal([&window] { window.CloseWithoutConfirmation(); });
        window.Initialise();
        window.exec();
        notifier_.onState = nullptr;
        return 0;
    }

private:
    GuiNotifier notifier_;
};

}  // namespace

int main(int argc, char** argv)
{
    Window window;
    return DriverMain(argc, argv, &window);
}
