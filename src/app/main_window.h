// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>
#include <QMenuBar>
#include <QPointer>
#include <functional>
#include <memory>

#include "dialog_host.h"
#include "engine_events.h"
#include "trace_window.h"
#include "window_logic.h"

namespace Ui {
class MainWindow;
}

namespace nalvexa {

// The program's window: the socket port and the client state, the adapter's
// menu and setup dialogs, and the closing rules. A face of the engine: it
// sends commands and shows the events, and touches nothing of the engine.
class MainWindow : public QDialog {
    Q_OBJECT
public:
    MainWindow(IEngine& engine, IDialogHost& host, QString version, const EngineState& state,
               QWidget* parent = nullptr);
    ~MainWindow() override;

    // Everything before the window is first shown.
    void Initialise();
    void OnCommand(int command);

    // The engine's events, on the window's thread.
    void Changed(const EngineState& state);
    void Message(const std::string& text, Caption caption) { host_.Show(text, caption); }
    void TraceLine(const std::string& line);
    void CloseRequested();
    EngineEvents& events() { return events_; }

    Ui::MainWindow& ui() { return *ui_; }
    QMenuBar* menu() { return menu_; }
    TraceWindow* traceWindow() { return trace_; }
    // How modal dialogs are run; tests replace it so that nothing waits for a click.
    void SetDialogRunner(std::function<int(QDialog&)> runner) { runDialog_ = std::move(runner); }

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;
    void keyPressEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    void InstallMenu();
    void Show();
    void SetTimeouts();
    void ConfigureSerialPort();
    void ShowSetup();
    void OpenTrace();
    // Closes the dialogs that are open (a close request came meanwhile).
    void CloseDialogs();
    void OpenCanDialog(int command);

    IEngine& engine_;
    IDialogHost& host_;
    QString version_;
    WindowLogic logic_;
    EngineEvents events_;
    std::unique_ptr<Ui::MainWindow> ui_;
    QMenuBar* menu_;
    bool askBeforeClosing_ = true;
    bool restoredForFailure_ = false;
    bool closing_ = false;
    QPointer<TraceWindow> trace_;
    std::function<int(QDialog&)> runDialog_ = [](QDialog& d) { return d.exec(); };
};

}  // namespace nalvexa
