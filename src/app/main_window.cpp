// SPDX-License-Identifier: MIT
#include "main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLayout>
#include <QScreen>
#include <algorithm>

#include "about_dialog.h"
#include "can_hardware_dialog.h"
#include "can_message_test_dialog.h"
#include "can_node_id_dialog.h"
#include "can_service_dialogs.h"
#include "can_setup_dialog.h"
#include "serial_port_dialog.h"
#include "serial_setup_dialog.h"
#include "timeout_settings_dialog.h"
#include "ui_mainwindow.h"

namespace nalvexa {

MainWindow::MainWindow(IEngine& engine, IDialogHost& host, QString version, const EngineState& state,
                       QWidget* parent)
    : QDialog(parent), engine_(engine), host_(host), version_(std::move(version)), logic_(engine, host, state),
      ui_(std::make_unique<Ui::MainWindow>()), menu_(new QMenuBar(this))
{
    ui_->setupUi(this);
    layout()->setMenuBar(menu_);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    connect(ui_->openButton, &QPushButton::clicked, this, [this] {
        logic_.SetPortText(ui_->portEdit->text().toStdString());
        logic_.Open();
        Show();
    });
    connect(ui_->closeButton, &QPushButton::clicked, this, [this] { logic_.CloseSocket(); });
    connect(ui_->clientCloseButton, &QPushButton::clicked, this, [this] { logic_.CloseClient(); });
}

MainWindow::~MainWindow() = default;

void MainWindow::Initialise()
{
    setWindowIcon(QIcon(":/nalvexa.xpm"));
    setWindowTitle(QString::fromStdString(logic_.state().title));
    InstallMenu();
    Show();
    // A fixed size, wide enough that window managers need not cut the title.
    adjustSize();
    const int titleWidth = fontMetrics().horizontalAdvance(windowTitle()) + 140;
    setFixedSize(std::max(width(), titleWidth), height());
    if (QScreen* screen = this->screen()) move(screen->availableGeometry().center() - rect().center());
    // Minimised, unless it could not listen: that the operator must see.
    if (logic_.state().listening)
        setWindowState(Qt::WindowMinimized);
    else
        restoredForFailure_ = true;
}

void MainWindow::Show()
{
    ui_->portEdit->setText(QString::fromStdString(logic_.portText()));
    ui_->openButton->setEnabled(logic_.openEnabled());
    ui_->portEdit->setEnabled(logic_.openEnabled());
    ui_->closeButton->setEnabled(logic_.closeEnabled());
    ui_->clientCloseButton->setEnabled(logic_.clientCloseEnabled());
    ui_->clientStatus->setText(QString::fromStdString(logic_.clientStatus()));
    ui_->socketStatus->setText(QString::fromStdString(logic_.socketStatus()));
    ui_->deviceStatus->setText(QString::fromStdString(logic_.deviceStatus()));
}

void MainWindow::Changed(const EngineState& state)
{
    const bool failedBefore = !logic_.socketStatus().empty();
    logic_.Update(state);
    Show();
    // No box for a failed listen, but seen: beside the port, and in a window
    // brought back from its minimised state once.
    if (!failedBefore && !logic_.socketStatus().empty() && isMinimized() && !restoredForFailure_) {
        restoredForFailure_ = true;
        showNormal();
    }
    emit events_.changed(state);
}

void MainWindow::TraceLine(const std::string& line)
{
    if (trace_) trace_->Append(line);
}

void MainWindow::OpenTrace()
{
    if (trace_) {
        trace_->raise();
        trace_->activateWindow();
        return;
    }
    trace_ = new TraceWindow(engine_, this);  // not modal; it deletes itself when closed
    trace_->show();
}

void MainWindow::CloseRequested()
{
    askBeforeClosing_ = false;
    // After the current event, so that a box that is open ends first.
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void MainWindow::CloseDialogs()
{
    // Innermost first, each as Cancel: what they held is not applied, and
    // their loops end before the window's own.
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
        auto* dialog = qobject_cast<QDialog*>(*it);
        if (dialog && dialog != this && dialog->isVisible()) dialog->reject();
    }
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (!closing_ && askBeforeClosing_ && !logic_.MayClose()) {
        event->ignore();
        return;
    }
    closing_ = true;
    CloseDialogs();
    engine_.Close();
    event->accept();
    done(QDialog::Accepted);
}

void MainWindow::reject()
{
    // Escape and the like never close the window; only closing does.
}

bool MainWindow::focusNextPrevChild(bool)
{
    return false;  // no moving between the controls with Tab
}

void MainWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void MainWindow::InstallMenu()
{
    menu_->clear();
    QMenu* p = menu_->addMenu("P&rotocol");
    for (const MenuEntry& item : logic_.state().offer.menu) {
        if (item.text.empty()) {
            p->addSeparator();
            continue;
        }
        QAction* action = p->addAction(QString::fromStdString(item.text));
        action->setData(item.command);
        connect(action, &QAction::triggered, this, [this, c = item.command] { OnCommand(c); });
    }
    // Every adapter's traffic can be watched.
    p->addSeparator();
    QAction* trace = p->addAction("Trace");
    trace->setData(static_cast<int>(kTrace));
    connect(trace, &QAction::triggered, this, [this] { OnCommand(kTrace); });
    QMenu* help = menu_->addMenu("&Help");
    QAction* about = help->addAction("&About Driver...");
    about->setData(static_cast<int>(kAbout));
    connect(about, &QAction::triggered, this, [this] { OnCommand(kAbout); });
}

void MainWindow::OnCommand(int command)
{
    switch (command) {
    case kShowSetup: ShowSetup(); break;
    case kAbout: {
        AboutDialog about(version_, this);
        runDialog_(about);
        break;
    }
    case kQmrTimeouts:
    case kLvtTimeouts:
    case kTr7100Timeouts: SetTimeouts(); break;
    case kQmrSerialPort:
    case kLvtSerialPort:
    case kTr7100SerialPort: ConfigureSerialPort(); break;
    case kTrace: OpenTrace(); break;
    case kCanHardware:
    case kCanNodeId:
    case kCanNmt:
    case kCanLss:
    case kCanMessageTest: OpenCanDialog(command); break;
    default: engine_.RunAdapterCommand(command); break;
    }
}

void MainWindow::OpenCanDialog(int command)
{
    if (!logic_.state().can) return;
    const CanState& can = *logic_.state().can;
    std::unique_ptr<QDialog> dialog;
    switch (command) {
    case kCanHardware:
        dialog = std::make_unique<CCANHardwareDlg>(engine_, host_, events_, can, CCANHardwareDlg::AvailableChannels(), this);
        break;
    case kCanNodeId: dialog = std::make_unique<CCANNodeIdDlg>(engine_, host_, can, this); break;
    case kCanNmt: dialog = std::make_unique<CCANNmtDlg>(engine_, host_, events_, can, this); break;
    case kCanLss: dialog = std::make_unique<CCANLssDlg>(engine_, host_, events_, can, runDialog_, this); break;
    case kCanMessageTest: dialog = std::make_unique<CCANMessageTestDlg>(engine_, host_, events_, this); break;
    default: return;
    }
    runDialog_(*dialog);
}

void MainWindow::SetTimeouts()
{
    if (!logic_.state().serial) return;
    TimeoutSettingsDialog dialog(engine_, host_, *logic_.state().serial, this);
    runDialog_(dialog);
}

void MainWindow::ConfigureSerialPort()
{
    if (!logic_.state().serial) return;
    SerialPortDialog dialog(engine_, events_, *logic_.state().serial, SerialPortDialog::SystemPortNames(), this);
    runDialog_(dialog);
}

void MainWindow::ShowSetup()
{
    const AdapterOffer& offer = logic_.state().offer;
    if (offer.setup == SetupDialog::Can) {
        CCANDriverSetupDlg dialog([this](int command) { OpenCanDialog(command); }, this);
        runDialog_(dialog);
        return;
    }
    SerialSetupDialog dialog(engine_, offer, {[this] { SetTimeouts(); }, [this] { ConfigureSerialPort(); }}, this);
    runDialog_(dialog);
}

}  // namespace nalvexa
