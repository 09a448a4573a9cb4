// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>
#include <QMenuBar>
#include <QPointer>
#include <functional>
#include <memory>

#include "platform.h"
#include "server/adapter_holder.h"
#include "server/server_events.h"
#include "server/server_sockets.h"
#include "settings/ini_file.h"
#include "trace_window.h"

namespace Ui {
class MainWindow;
}

namespace nalvexa {

// The program's window: the socket port and the client state, the adapter's
// menu and setup dialogs, and the closing rules.
class MainWindow : public QDialog, public IServerEvents, public IAdapterServices {
    Q_OBJECT
public:
    enum Command {
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

    MainWindow(ServerSockets& server, AdapterHolder& holder, IniFile& ini, IUserNotifier& notifier,
               QString version, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Everything before the window is first shown; the server listens afterwards.
    void Initialise();
    void OnCommand(int command);
    void OnOpen();
    void OnCloseSocket();
    void OnCloseClient();

    void Refresh() override;
    void CloseWithoutConfirmation() override;
    // A state line of the port or the CAN channel (lost, reopened, bus-off).
    void ShowDeviceState(const std::string& line);

    void ShowQmrSetup() override;
    void ShowTr7100Setup() override;
    void ShowLvtSetup() override;
    void ShowCanSetup() override;
    void InstallQmrMenu() override;
    void InstallTr7100Menu() override;
    void InstallLvtMenu() override;
    void InstallCanMenu() override;

    Ui::MainWindow& ui() { return *ui_; }
    QMenuBar* menu() { return menu_; }
    TraceWindow* traceWindow() { return trace_; }
    uint32_t port() const { return port_; }
    // How modal dialogs are run; tests replace it so that nothing waits for a click.
    void SetDialogRunner(std::function<int(QDialog&)> runner) { runDialog_ = std::move(runner); }

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;
    void keyPressEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    struct MenuItem {
        const char* text;  // nullptr: a separator
        int command;
    };
    void InstallMenu(std::initializer_list<MenuItem> protocol);
    bool ReadPort();
    void SetTimeouts();
    void ConfigureSerialPort();
    void ShowSerialSetup(const QString& title, bool qmr);
    void ShowPortState();
    void OpenTrace();
    // Closes the dialogs that are open (a close request came meanwhile).
    void CloseDialogs();
    void OpenCanDialog(int command);
    ISerialAdapter* SerialAdapter() const;

    ServerSockets& server_;
    AdapterHolder& holder_;
    IniFile& ini_;
    IUserNotifier& notifier_;
    QString version_;
    std::unique_ptr<Ui::MainWindow> ui_;
    QMenuBar* menu_;
    uint32_t port_ = 12001;
    bool askBeforeClosing_ = true;
    bool restoredForFailure_ = false;
    QPointer<TraceWindow> trace_;
    std::function<int(QDialog&)> runDialog_ = [](QDialog& d) { return d.exec(); };
};

}  // namespace nalvexa
