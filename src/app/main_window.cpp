// SPDX-License-Identifier: MIT
#include "main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <algorithm>
#include <QKeyEvent>
#include <QLayout>
#include <QScreen>

#include "about_dialog.h"
#include "can_hardware_dialog.h"
#include "can_message_test_dialog.h"
#include "can_node_id_dialog.h"
#include "can_service_dialogs.h"
#include "can_setup_dialog.h"
#include "adapters/qmr/adapter_qmr.h"
#include "serial_port_dialog.h"
#include "serial_setup_dialog.h"
#include "server/server_settings.h"
#include "settings/decimal.h"
#include "timeout_settings_dialog.h"
#include "trace_window.h"
#include "ui_mainwindow.h"

namespace nalvexa {

MainWindow::MainWindow(ServerSockets& server, AdapterHolder& holder, IniFile& ini, IUserNotifier& notifier,
                       QString version, QWidget* parent)
    : QDialog(parent), server_(server), holder_(holder), ini_(ini), notifier_(notifier), version_(std::move(version)),
      ui_(std::make_unique<Ui::MainWindow>()), menu_(new QMenuBar(this))
{
    ui_->setupUi(this);
    layout()->setMenuBar(menu_);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    connect(ui_->openButton, &QPushButton::clicked, this, &MainWindow::OnOpen);
    connect(ui_->closeButton, &QPushButton::clicked, this, &MainWindow::OnCloseSocket);
    connect(ui_->clientCloseButton, &QPushButton::clicked, this, &MainWindow::OnCloseClient);
}

MainWindow::~MainWindow() = default;

void MainWindow::Initialise()
{
    ui_->portEdit->setText(QString::number(port_));
    setWindowIcon(QIcon(":/nalvexa.xpm"));
    IDriverAdapter* adapter = holder_.adapter();
    setWindowTitle(QString::fromStdString(adapter->GetTitle()));
    adapter->SetServices(this);
    adapter->InstallMenu();
    server_.SetEvents(this);
    ApplyServerSettings(ini_, server_);
    port_ = ReadSocketPort(ini_);
    ui_->portEdit->setText(QString::number(port_));
    OnOpen();
    Refresh();
    ShowPortState();
    // A fixed size, wide enough that window managers need not cut the title.
    adjustSize();
    const int titleWidth = fontMetrics().horizontalAdvance(windowTitle()) + 140;
    setFixedSize(std::max(width(), titleWidth), height());
    if (QScreen* screen = this->screen()) move(screen->availableGeometry().center() - rect().center());
    // Minimised, unless it could not listen: that the operator must see.
    if (server_.listener().isOpen)
        setWindowState(Qt::WindowMinimized);
    else
        restoredForFailure_ = true;
}

bool MainWindow::ReadPort()
{
    uint32_t value = 0;
    if (!ParseUnsigned(ui_->portEdit->text().toStdString(), value)) {
        notifier_.message("Please enter a positive integer.");
        return false;
    }
    port_ = value;
    return true;
}

void MainWindow::OnOpen()
{
    // The field never keeps a text that was refused: it shows the port in use.
    if (!ReadPort()) ui_->portEdit->setText(QString::number(port_));
    const uint32_t entered = port_;
    server_.Open(port_);
    // What was entered is kept, also 0 (the field then shows the port the system chose).
    WriteSocketPort(ini_, entered);  // written whether or not the socket could be opened
    if (!server_.listener().isOpen) {
        // No box (a failed open is silent), but seen: beside the port, and in a
        // window brought back from its minimised state once.
        ui_->socketStatus->setText("Cannot listen: " + QString::fromStdString(server_.listener().OpenError()));
        if (isMinimized() && !restoredForFailure_) {
            restoredForFailure_ = true;
            showNormal();
        }
    } else {
        ui_->socketStatus->clear();
    }
}

void MainWindow::OnCloseSocket()
{
    server_.CloseClient();
    server_.CloseListening();
}

void MainWindow::OnCloseClient()
{
    server_.CloseClient();
}

void MainWindow::Refresh()
{
    const bool open = server_.listener().isOpen;
    // The port it really listens on, also when 0 let the system choose.
    if (open) ui_->portEdit->setText(QString::number(server_.listener().Port()));
    ui_->openButton->setEnabled(!open);
    ui_->portEdit->setEnabled(!open);
    ui_->closeButton->setEnabled(open);
    const bool connected = server_.connection().isConnected;
    ui_->clientCloseButton->setEnabled(connected);
    ui_->clientStatus->setText(connected ? "Client connected" : "Client not connected");
}

void MainWindow::OpenTrace()
{
    if (trace_) {
        trace_->raise();
        trace_->activateWindow();
        return;
    }
    trace_ = new TraceWindow(this);  // not modal; it deletes itself when closed
    trace_->show();
}

void MainWindow::ShowPortState()
{
    if (ISerialAdapter* serial = SerialAdapter())
        ui_->deviceStatus->setText(serial->IsPortOpen() ? "Port open" : "Port not open");
    else if (auto* can = dynamic_cast<CCANDriver*>(holder_.adapter()))
        ui_->deviceStatus->setText(can->driverOpen ? "CAN channel open" : "CAN channel not open");
}

void MainWindow::ShowDeviceState(const std::string& line)
{
    if (line.rfind("port ", 0) == 0 || line.rfind("CAN ", 0) == 0) {
        QString text = QString::fromStdString(line);
        text[0] = text[0].toUpper();
        ui_->deviceStatus->setText(text);
    }
}

void MainWindow::CloseWithoutConfirmation()
{
    askBeforeClosing_ = false;
    // After the current event, so that the answer to the client leaves first.
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
    if (askBeforeClosing_ && notifier_.askYesNoCancel("Are you sure you want to close the driver?") != Answer::Yes) {
        event->ignore();
        return;
    }
    CloseDialogs();
    holder_.adapter()->SaveSettings();
    server_.connection().Drain();
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

void MainWindow::InstallMenu(std::initializer_list<MenuItem> protocol)
{
    menu_->clear();
    QMenu* p = menu_->addMenu("P&rotocol");
    for (const MenuItem& item : protocol) {
        if (!item.text) {
            p->addSeparator();
            continue;
        }
        QAction* action = p->addAction(item.text);
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

void MainWindow::InstallCanMenu()
{
    InstallMenu({{"Hardware Interface Driver...", kCanHardware},
                 {"Node Identifier Selection...", kCanNodeId},
                 {nullptr, 0},
                 {"Network Management Services...", kCanNmt},
                 {"Layer Setting Services...", kCanLss},
                 {nullptr, 0},
                 {"CAN Message Test...", kCanMessageTest}});
}

void MainWindow::InstallQmrMenu()
{
    InstallMenu({{"Set Timeouts...", kQmrTimeouts},
                 {"Configure Serial Port...", kQmrSerialPort},
                 {nullptr, 0},
                 {"Switch Controller To QMR Mode", kQmrMode}});
}

void MainWindow::InstallTr7100Menu()
{
    InstallMenu({{"Set Timeouts...", kTr7100Timeouts}, {"Configure Serial Port...", kTr7100SerialPort}});
}

void MainWindow::InstallLvtMenu()
{
    InstallMenu({{"Set Timeouts...", kLvtTimeouts}, {"Configure Serial Port...", kLvtSerialPort}});
}

ISerialAdapter* MainWindow::SerialAdapter() const { return dynamic_cast<ISerialAdapter*>(holder_.adapter()); }

void MainWindow::OnCommand(int command)
{
    switch (command) {
    case kShowSetup: holder_.adapter()->ShowSetup(); break;
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
    case kQmrMode:
        if (auto* qmr = dynamic_cast<CAdapterQMR*>(holder_.adapter())) qmr->SwitchToQmrMode();
        break;
    case kTrace: OpenTrace(); break;
    case kCanHardware:
    case kCanNodeId:
    case kCanNmt:
    case kCanLss:
    case kCanMessageTest: OpenCanDialog(command); break;
    default: break;
    }
}

void MainWindow::OpenCanDialog(int command)
{
    auto* can = dynamic_cast<CCANDriver*>(holder_.adapter());
    if (!can) return;
    std::unique_ptr<QDialog> dialog;
    switch (command) {
    case kCanHardware: dialog = std::make_unique<CCANHardwareDlg>(*can, CCANHardwareDlg::AvailableChannels(), notifier_, this); break;
    case kCanNodeId: dialog = std::make_unique<CCANNodeIdDlg>(*can, notifier_, this); break;
    case kCanNmt: dialog = std::make_unique<CCANNmtDlg>(*can, notifier_, this); break;
    case kCanLss: dialog = std::make_unique<CCANLssDlg>(*can, notifier_, runDialog_, this); break;
    case kCanMessageTest: dialog = std::make_unique<CCANMessageTestDlg>(*can, notifier_, this); break;
    default: return;
    }
    runDialog_(*dialog);
}

void MainWindow::SetTimeouts()
{
    ISerialAdapter* adapter = SerialAdapter();
    if (!adapter) return;
    TimeoutSettingsDialog dialog(adapter->GetRetryTimeout(), adapter->GetMaxNoOfRetries(), notifier_, this);
    if (runDialog_(dialog) != QDialog::Accepted) return;
    adapter->SetRetryTimeout(dialog.retryTimeout());
    adapter->SetMaxNoOfRetries(dialog.retries());
}

void MainWindow::ConfigureSerialPort()
{
    if (ISerialAdapter* adapter = SerialAdapter()) {
        SerialPortDialog dialog(*adapter, SerialPortDialog::SystemPortNames(), this);
        runDialog_(dialog);
        ShowPortState();
    }
}

void MainWindow::ShowSerialSetup(const QString& title, bool qmr)
{
    SerialSetupDialog::Actions actions{[this] { SetTimeouts(); }, [this] { ConfigureSerialPort(); }, nullptr};
    if (qmr) actions.switchToQmrMode = [this] { OnCommand(kQmrMode); };
    SerialSetupDialog dialog(title, std::move(actions), this);
    runDialog_(dialog);
}

void MainWindow::ShowQmrSetup() { ShowSerialSetup("QMR Driver Setup", true); }
void MainWindow::ShowTr7100Setup() { ShowSerialSetup("TR7100 Driver Setup", false); }
void MainWindow::ShowLvtSetup() { ShowSerialSetup("LVT Driver Setup", false); }
void MainWindow::ShowCanSetup()
{
    CCANDriverSetupDlg dialog([this](int command) { OpenCanDialog(command); }, this);
    runDialog_(dialog);
}

}  // namespace nalvexa
