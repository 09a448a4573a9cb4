// SPDX-License-Identifier: MIT
// The main window offscreen: its controls, the port, the menus, closing.
#include <gtest/gtest.h>

#include <QMessageBox>
#include <QTimer>

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <QEventLoop>
#include <regex>

#include "adapters/lvt/adapter_lvt.h"
#include "adapters/qmr/adapter_qmr.h"
#include "can/adapter_can.h"
#include "fake_serial_adapter.h"
#include "fakes.h"
#include "gui_notifier.h"
#include "harness.h"
#include "loopback_can_library.h"
#include "main_window.h"
#include "manual_clock.h"
#include "qt_serial_device.h"
#include "qt_services.h"
#include "temp_dir.h"
#include "ui_mainwindow.h"

namespace nalvexa::test {
namespace {

class Window : public ::testing::Test {
protected:
    Window() : ini(dir.File("Nalvexa.ini")), server(tcp, holder, poster, notifier, clock)
    {
        auto owned = std::make_unique<FakeSerialAdapter>();
        adapter = owned.get();
        holder.set(std::move(owned));
    }
    MainWindow& Open()
    {
        window = std::make_unique<MainWindow>(server, holder, ini, notifier, "1.2.3");
        window->SetDialogRunner([this](QDialog& d) {
            dialogs.push_back(d.windowTitle());
            return onDialog ? onDialog(d) : int(QDialog::Rejected);
        });
        window->Initialise();
        window->show();
        return *window;
    }
    Ui::MainWindow& ui() { return window->ui(); }

    TempDir dir;
    IniFile ini;
    FakeTcpListener tcp;
    AdapterHolder holder;
    ManualPoster poster;
    FakeNotifier notifier;
    ManualClock clock;
    ServerSockets server;
    FakeSerialAdapter* adapter;
    std::unique_ptr<MainWindow> window;
    std::vector<QString> dialogs;
    std::function<int(QDialog&)> onDialog;
};

TEST_F(Window, StartsListeningOnTheDefaultPortUnderTheAdaptersTitle)
{
    Open();
    EXPECT_EQ(window->windowTitle(), "Quarlin Axtelo 3.02 - TR7100 Driver");
    EXPECT_TRUE(tcp.listening);
    EXPECT_EQ(tcp.port, 12001u);
    EXPECT_EQ(ui().portEdit->text(), "12001");
    EXPECT_EQ(dir.Read("Nalvexa.ini"), "[SocketServer]\nSocketPort=12001\n");
    EXPECT_TRUE(window->windowState() & Qt::WindowMinimized);
}

TEST_F(Window, ControlsFollowTheSocketAndTheClient)
{
    Open();
    EXPECT_FALSE(ui().openButton->isEnabled());
    EXPECT_FALSE(ui().portEdit->isEnabled());
    EXPECT_TRUE(ui().closeButton->isEnabled());
    EXPECT_FALSE(ui().clientCloseButton->isEnabled());
    EXPECT_EQ(ui().clientStatus->text(), "Client not connected");

    tcp.Connect();
    EXPECT_EQ(ui().clientStatus->text(), "Client connected");
    EXPECT_TRUE(ui().clientCloseButton->isEnabled());

    ui().closeButton->click();
    poster.RunAll();
    EXPECT_TRUE(ui().openButton->isEnabled());
    EXPECT_TRUE(ui().portEdit->isEnabled());
    EXPECT_FALSE(ui().closeButton->isEnabled());
    EXPECT_FALSE(ui().clientCloseButton->isEnabled());
    EXPECT_EQ(ui().clientStatus->text(), "Client not connected");
    EXPECT_FALSE(tcp.listening);

    ui().portEdit->setText("4711");
    ui().openButton->click();
    EXPECT_EQ(tcp.port, 4711u);
    EXPECT_NE(dir.Read("Nalvexa.ini").find("SocketPort=4711"), std::string::npos);
}

TEST_F(Window, APortThatIsNoNumberIsRefusedAndTheOldOneKept)
{
    Open();
    ui().closeButton->click();
    ui().portEdit->setText("12x");
    ui().openButton->click();
    EXPECT_EQ(notifier.messages, std::vector<std::string>(1, "Please enter a positive integer."));
    EXPECT_EQ(ui().portEdit->text(), "12001") << "the disabled field shows the port in use, not the refused text";
    EXPECT_EQ(tcp.port, 12001u);
    EXPECT_NE(dir.Read("Nalvexa.ini").find("SocketPort=12001"), std::string::npos);
}

TEST_F(Window, ClosingAsksAndOnlyYesSaves)
{
    Open();
    for (Answer answer : {Answer::No, Answer::Cancel}) {
        notifier.answer = answer;
        window->close();
        EXPECT_TRUE(window->isVisible());
        EXPECT_EQ(adapter->saves, 0);
    }
    notifier.answer = Answer::Yes;
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(adapter->saves, 1);
    EXPECT_EQ(notifier.questions, std::vector<std::string>(3, "Are you sure you want to close the driver?"));
}

TEST_F(Window, TheClientsCloseRequestClosesWithoutTheQuestion)
{
    Open();
    notifier.answer = Answer::No;
    window->CloseWithoutConfirmation();
    EXPECT_TRUE(window->isVisible()) << "after the current event";
    QApplication::processEvents();
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(notifier.questions.empty());
    EXPECT_EQ(adapter->saves, 1);
}

TEST_F(Window, EscapeDoesNothing)
{
    Open();
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &escape);
    QApplication::processEvents();
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(notifier.questions.empty());
}

std::vector<std::pair<QString, int>> MenuItems(QMenuBar* bar)
{
    std::vector<std::pair<QString, int>> items;
    for (QAction* top : bar->actions()) {
        items.push_back({top->text(), -1});
        for (QAction* a : top->menu()->actions()) items.push_back({a->isSeparator() ? "-" : a->text(), a->data().toInt()});
    }
    return items;
}

TEST_F(Window, EachAdapterHasItsMenu)
{
    using Items = std::vector<std::pair<QString, int>>;
    Open();
    const Items help = {{"&Help", -1}, {"&About Driver...", 32778}};
    auto with = [&](Items protocol) {
        protocol.insert(protocol.begin(), {"P&rotocol", -1});
        protocol.insert(protocol.end(), {{"-", 0}, {"Trace", 32800}});
        protocol.insert(protocol.end(), help.begin(), help.end());
        return protocol;
    };
    EXPECT_EQ(MenuItems(window->menu()), with({{"Set Timeouts...", 32793}, {"Configure Serial Port...", 32794}}));
    window->InstallLvtMenu();
    EXPECT_EQ(MenuItems(window->menu()), with({{"Set Timeouts...", 32791}, {"Configure Serial Port...", 32792}}));
    window->InstallQmrMenu();
    EXPECT_EQ(MenuItems(window->menu()), with({{"Set Timeouts...", 32784},
                                               {"Configure Serial Port...", 32785},
                                               {"-", 0},
                                               {"Switch Controller To QMR Mode", 32790}}));
    window->InstallCanMenu();
    EXPECT_EQ(MenuItems(window->menu()), with({{"Hardware Interface Driver...", 32779},
                                               {"Node Identifier Selection...", 32780},
                                               {"-", 0},
                                               {"Network Management Services...", 32781},
                                               {"Layer Setting Services...", 32782},
                                               {"-", 0},
                                               {"CAN Message Test...", 32783}}));
}

TEST_F(Window, MenuCommandsOpenTheirDialogs)
{
    Open();
    window->OnCommand(MainWindow::kTr7100Timeouts);
    window->OnCommand(MainWindow::kTr7100SerialPort);
    window->OnCommand(MainWindow::kAbout);
    window->OnCommand(MainWindow::kShowSetup);
    EXPECT_EQ(dialogs, (std::vector<QString>{"Timeout Settings", "Serial Port", "About Nalvexa"}));
    EXPECT_EQ(adapter->setups, 1);
    window->ShowTr7100Setup();
    EXPECT_EQ(dialogs.back(), "TR7100 Driver Setup");
}

TEST_F(Window, TheCanMenuAndSetupOpenTheCanDialogs)
{
    ManualClock clock;
    LoopbackCanLibrary can;
    holder.set(std::make_unique<CAdapterCAN>(can, ini, clock, notifier));
    Open();
    for (QAction* a : window->menu()->actions().front()->menu()->actions())
        if (!a->isSeparator()) a->trigger();
    EXPECT_EQ(dialogs, (std::vector<QString>{"CAN Hardware Interface Driver", "CAN Node Identifier Selection",
                                             "CAN NMT", "CAN Layer Setting Services", "CAN Message Test"}));
    window->OnCommand(MainWindow::kShowSetup);
    EXPECT_EQ(dialogs.back(), "CAN Driver Setup");
    window.reset();
    holder.set(nullptr);  // before its library
}

TEST_F(Window, TimeoutSettingsApplyOnlyOnOk)
{
    Open();
    onDialog = [](QDialog& d) {
        d.findChild<QLineEdit*>("retryTimeoutEdit")->setText("250");
        d.findChild<QLineEdit*>("retriesEdit")->setText("3");
        d.findChild<QPushButton*>("okButton")->click();
        return d.result();
    };
    window->OnCommand(MainWindow::kTr7100Timeouts);
    EXPECT_EQ(adapter->retryTimeout, 250);
    EXPECT_EQ(adapter->retries, 3);

    // A refused entry, then Cancel: nothing changes.
    onDialog = [](QDialog& d) {
        d.findChild<QLineEdit*>("retryTimeoutEdit")->setText("-1");
        d.findChild<QPushButton*>("okButton")->click();
        d.findChild<QLineEdit*>("retryTimeoutEdit")->setText("100");
        d.findChild<QLineEdit*>("retriesEdit")->setText("two");
        d.findChild<QPushButton*>("okButton")->click();
        d.findChild<QPushButton*>("cancelButton")->click();
        return d.result();
    };
    window->OnCommand(MainWindow::kTr7100Timeouts);
    EXPECT_EQ(notifier.messages, (std::vector<std::string>{"Please enter a positive integer.", "Please enter an integer."}));
    EXPECT_EQ(adapter->retryTimeout, 250);
    EXPECT_EQ(adapter->retries, 3);
}

TEST(WindowAdapters, TheRealAdaptersInstallTheirMenus)
{
    TempDir dir;
    IniFile ini(dir.Write("Nalvexa.ini", "[TR7100]\nSerialPort=/nonexistent\n"));
    ManualClock clock;
    FakeNotifier notifier;
    FakeSerialDevice device;
    LoopbackCanLibrary can;
    AdapterContext context{clock, notifier, ini, device, can};
    struct Case {
        std::function<std::unique_ptr<IDriverAdapter>()> make;
        QString first;
    } cases[] = {
        {[&] { return std::make_unique<CAdapterQMR>(context); }, "Set Timeouts..."},
        {[&] { return std::make_unique<CAdapterLVT>(context); }, "Set Timeouts..."},
        {[&] { return std::make_unique<CAdapterCAN>(can, ini, clock, notifier); }, "Hardware Interface Driver..."},
    };
    for (const Case& c : cases) {
        FakeTcpListener tcp;
        AdapterHolder holder;
        holder.set(c.make());
        ManualPoster poster;
        ServerSockets server(tcp, holder, poster, notifier, clock);
        MainWindow window(server, holder, ini, notifier, "1");
        window.Initialise();
        QMenu* protocol = window.menu()->actions().front()->menu();
        EXPECT_EQ(protocol->actions().front()->text(), c.first);
    }
}

TEST_F(Window, ACloseRequestWithADialogOpenClosesTheDialogFirstThenTheWindow)
{
    const std::vector<std::function<void(MainWindow&)>> opens = {
        [](MainWindow& w) { w.OnCommand(MainWindow::kTr7100Timeouts); },
        [](MainWindow& w) { w.OnCommand(MainWindow::kTr7100SerialPort); },
        [](MainWindow& w) { w.OnCommand(MainWindow::kAbout); },
        [](MainWindow& w) { w.ShowTr7100Setup(); },
        [](MainWindow& w) { w.ShowQmrSetup(); },
    };
    int saves = adapter->saves;
    for (const auto& open : opens) {
        Open();
        int result = -1;
        QString title;
        onDialog = [&](QDialog& d) {
            title = d.windowTitle();
            // The client's close-driver request comes while the dialog waits for the operator.
            QTimer::singleShot(0, window.get(), [this] { window->CloseWithoutConfirmation(); });
            result = d.exec();
            return result;
        };
        open(*window);
        EXPECT_EQ(result, QDialog::Rejected) << title.toStdString() << ": closed as Cancel";
        QApplication::processEvents();
        EXPECT_FALSE(window->isVisible()) << title.toStdString();
        EXPECT_EQ(adapter->saves, ++saves) << title.toStdString();
        for (QWidget* w : QApplication::topLevelWidgets())
            EXPECT_FALSE(qobject_cast<QDialog*>(w) && w->isVisible()) << title.toStdString() << ": nothing left open";
    }
}

TEST_F(Window, ACloseRequestClosesTheCanDialogsToo)
{
    ManualClock clock;
    LoopbackCanLibrary can;
    holder.set(std::make_unique<CAdapterCAN>(can, ini, clock, notifier));
    for (int command : {MainWindow::kCanHardware, MainWindow::kCanNodeId, MainWindow::kCanNmt, MainWindow::kCanLss,
                        MainWindow::kCanMessageTest}) {
        Open();
        int result = -1;
        onDialog = [&](QDialog& d) {
            QTimer::singleShot(0, window.get(), [this] { window->CloseWithoutConfirmation(); });
            result = d.exec();
            return result;
        };
        window->OnCommand(command);
        EXPECT_EQ(result, QDialog::Rejected) << command;
        QApplication::processEvents();
        EXPECT_FALSE(window->isVisible()) << command;
    }
    window.reset();
    holder.set(nullptr);  // before its library
}

TEST_F(Window, ThePortShownIsThePortItListensOn)
{
    dir.Write("Nalvexa.ini", "[SocketServer]\nSocketPort=0\n");
    Open();
    EXPECT_EQ(ui().portEdit->text(), "40123") << "the port the system chose";
    EXPECT_NE(dir.Read("Nalvexa.ini").find("SocketPort=0"), std::string::npos) << "0 is kept: it chooses again next time";
}

TEST_F(Window, AFailureToListenIsSeenWithoutABox)
{
    tcp.refusedPort = 12001;
    Open();
    EXPECT_EQ(ui().socketStatus->text(), "Cannot listen: 127.0.0.1:12001: Address already in use");
    EXPECT_FALSE(window->windowState() & Qt::WindowMinimized) << "brought back once so that it is seen";
    EXPECT_TRUE(notifier.messages.empty());
    tcp.refusedPort = 0xFFFFFFFF;
    ui().openButton->click();
    EXPECT_EQ(ui().socketStatus->text(), "");
}

TEST_F(Window, HasAFixedSizeWideEnoughForItsTitleAndTabDoesNotMoveTheFocus)
{
    Open();
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_GE(window->width(), window->fontMetrics().horizontalAdvance(window->windowTitle()) + 100);
    window->showNormal();
    window->activateWindow();
    ui().openButton->setEnabled(true);
    ui().openButton->setFocus();
    QWidget* before = QApplication::focusWidget();
    QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &tab);
    EXPECT_EQ(QApplication::focusWidget(), before);
}

TEST_F(Window, TheTraceWindowShowsTheLinesAndPauseHoldsThem)
{
    Open();
    EXPECT_FALSE(Trace::on());
    window->OnCommand(MainWindow::kTrace);
    TraceWindow* trace = window->traceWindow();
    ASSERT_NE(trace, nullptr);
    EXPECT_TRUE(Trace::on()) << "tracing while it is open";
    Trace::Line("client > read a=0x05 len=2 i1=0x1234 i2=1 i3=0");
    EXPECT_TRUE(trace->view()->toPlainText().endsWith("client > read a=0x05 len=2 i1=0x1234 i2=1 i3=0"));
    trace->pauseButton()->click();
    Trace::Line("line > 05 12 34");
    EXPECT_FALSE(trace->view()->toPlainText().contains("line > 05 12 34")) << "held while paused";
    trace->pauseButton()->click();
    EXPECT_TRUE(trace->view()->toPlainText().endsWith("line > 05 12 34")) << "shown on resume";
    TempDir saved;
    ASSERT_TRUE(trace->SaveTo(QString::fromStdString(saved.File("trace.txt"))));
    EXPECT_NE(saved.Read("trace.txt").find("line > 05 12 34"), std::string::npos);
    trace->clearButton()->click();
    EXPECT_TRUE(trace->view()->toPlainText().isEmpty());
    EXPECT_EQ(trace->view()->maximumBlockCount(), 10000);
    trace->close();
    QApplication::processEvents();
    EXPECT_FALSE(Trace::on()) << "closing it stops the tracing it started";
}

TEST(GuiNotifier, BoxesCarryTheirCaptionAndIcon)
{
    GuiNotifier notifier;
    notifier.SetCaption("Quarlin Axtelo 3.02 - CAN Driver");
    const struct Case {
        Caption caption;
        QString title;
        QMessageBox::Icon icon;
    } cases[] = {
        {Caption::Title, "Quarlin Axtelo 3.02 - CAN Driver", QMessageBox::Warning},
        {Caption::Info, "info", QMessageBox::Critical},
        {Caption::Error, "Error", QMessageBox::Critical},
    };
    for (const Case& c : cases) {
        QString title;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            title = box->windowTitle();
            icon = box->icon();
            box->accept();
        });
        notifier.message("text", c.caption);
        EXPECT_EQ(title, c.title);
        EXPECT_EQ(icon, c.icon);
    }
}

}  // namespace
}  // namespace nalvexa::test

namespace nalvexa::test {
namespace {

// The window's own timers keep firing while the loop runs this long.
int TicksWhileRunning(QWidget& window, int ms)
{
    int ticks = 0;
    QTimer tick(&window);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        ++ticks;
        window.update();
    });
    tick.start(10);
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    return ticks;
}

TEST_F(Window, TheWindowStaysAliveWhileACanAnswerIsAwaited)
{
    QtTimerHost timers;
    LoopbackCanLibrary can(&timers);  // a silent drive
    holder.set(std::make_unique<CAdapterCAN>(can, ini, timers, notifier));
    Open();
    DriverRequest request;
    RecordingReply reply(&request);
    request.FillRead(0, 2, 0x2000, 1, 1, &reply);
    holder.adapter()->Execute(&request);
    EXPECT_GE(TicksWhileRunning(*window, 300), 10) << "repainted and its timers served meanwhile";
    EXPECT_TRUE(reply.replies.empty()) << "the answer is still awaited";
    window.reset();
    holder.set(nullptr);  // before its library
}

// The simulator's lines "@MS byte HEX".
std::vector<std::pair<long, std::string>> BytesReceived(const std::string& log)
{
    std::vector<std::pair<long, std::string>> out;
    const std::regex line("@(\\d+) byte ([0-9a-f]+)");
    for (auto it = std::sregex_iterator(log.begin(), log.end(), line); it != std::sregex_iterator(); ++it)
        out.push_back({std::stol((*it)[1]), (*it)[2]});
    return out;
}

TEST_F(Window, TheQmrModeSwitchSendsItsSequenceASecondApartAndTheWindowLivesMeanwhile)
{
    it::Process sim({NALVEXA_SIM_BIN, "qmr", "--times", "--bytes", "--quiet"});
    const std::string device = sim.WaitForLine("device ").substr(7);
    ASSERT_FALSE(device.empty());
    dir.Write("Nalvexa.ini", "[TR7100]\nSerialPort=" + device + "\n");
    QtTimerHost timers;
    QtSerialDevice serial;
    LoopbackCanLibrary can;
    AdapterContext context{timers, notifier, ini, serial, can};
    holder.set(std::make_unique<CAdapterQMR>(context));
    Open();
    window->OnCommand(MainWindow::kQmrMode);
    EXPECT_GE(TicksWhileRunning(*window, 6300), 300) << "the window is not held for the six seconds";
    const auto bytes = BytesReceived(sim.err());
    ASSERT_EQ(bytes.size(), 6u) << sim.err();
    const char* sequence[] = {"0d", "0d", "10", "53", "43", "0d"};
    for (size_t i = 0; i < 6; ++i) EXPECT_EQ(bytes[i].second, sequence[i]) << i;
    for (size_t i = 1; i < 6; ++i) {
        EXPECT_GE(bytes[i].first - bytes[i - 1].first, 900) << i;
        EXPECT_LE(bytes[i].first - bytes[i - 1].first, 1200) << i;
    }
    window.reset();
    holder.set(nullptr);
}

}  // namespace
}  // namespace nalvexa::test
