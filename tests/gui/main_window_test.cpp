// SPDX-License-Identifier: MIT
// The main window offscreen, as a face: its controls, the port, the menus,
// closing, the trace window; what it sends and how it shows what it is told.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "adapters/lvt/adapter_lvt.h"
#include "adapters/qmr/adapter_qmr.h"
#include "adapters/tr7100/adapter_tr7100.h"
#include "can/adapter_can.h"
#include "fakes.h"
#include "gui_notifier.h"
#include "loopback_can_library.h"
#include "manual_clock.h"
#include "model_engine.h"
#include "temp_dir.h"
#include "ui_mainwindow.h"

namespace nalvexa::test {
namespace {

using Lines = std::vector<std::string>;

class Window : public ::testing::Test {
protected:
    MainWindow& Open()
    {
        window = std::make_unique<MainWindow>(engine, host, "1.2.3", engine.state);
        engine.window = window.get();
        window->SetDialogRunner([this](QDialog& d) {
            dialogs.push_back(d.windowTitle());
            return onDialog ? onDialog(d) : int(QDialog::Rejected);
        });
        window->Initialise();
        window->show();
        return *window;
    }
    Ui::MainWindow& ui() { return window->ui(); }

    ModelEngine engine;
    FakeHost host;
    std::unique_ptr<MainWindow> window;
    std::vector<QString> dialogs;
    std::function<int(QDialog&)> onDialog;
};

TEST_F(Window, StartsMinimisedUnderTheAdaptersTitleShowingItsPort)
{
    Open();
    EXPECT_EQ(window->windowTitle(), "Quarlin Axtelo 3.02 - TR7100 Driver");
    EXPECT_EQ(ui().portEdit->text(), "12001");
    EXPECT_EQ(ui().deviceStatus->text(), "Port not open");
    EXPECT_TRUE(window->windowState() & Qt::WindowMinimized);
    EXPECT_TRUE(engine.Take().empty()) << "the engine listens before the window opens";
}

TEST_F(Window, ControlsFollowTheSocketAndTheClient)
{
    Open();
    EXPECT_FALSE(ui().openButton->isEnabled());
    EXPECT_FALSE(ui().portEdit->isEnabled());
    EXPECT_TRUE(ui().closeButton->isEnabled());
    EXPECT_FALSE(ui().clientCloseButton->isEnabled());
    EXPECT_EQ(ui().clientStatus->text(), "Client not connected");

    engine.state.clientConnected = true;
    engine.Tell();
    EXPECT_EQ(ui().clientStatus->text(), "Client connected");
    EXPECT_TRUE(ui().clientCloseButton->isEnabled());

    ui().closeButton->click();
    EXPECT_EQ(engine.Take(), (Lines{"CloseClient", "CloseListening"}));
    EXPECT_TRUE(ui().openButton->isEnabled());
    EXPECT_TRUE(ui().portEdit->isEnabled());
    EXPECT_FALSE(ui().closeButton->isEnabled());
    EXPECT_FALSE(ui().clientCloseButton->isEnabled());
    EXPECT_EQ(ui().clientStatus->text(), "Client not connected");

    ui().portEdit->setText("4711");
    ui().openButton->click();
    EXPECT_EQ(engine.Take(), Lines{"Listen 4711"});
    EXPECT_EQ(ui().portEdit->text(), "4711");

    engine.state.deviceState = "Port lost: /dev/ttyUSB0: Input/output error";
    engine.Tell();
    EXPECT_EQ(ui().deviceStatus->text(), "Port lost: /dev/ttyUSB0: Input/output error");
}

TEST_F(Window, APortThatIsNoNumberIsRefusedAndTheOldOneKept)
{
    Open();
    ui().closeButton->click();
    engine.Take();
    ui().portEdit->setText("12x");
    ui().openButton->click();
    EXPECT_EQ(host.said, Lines{"Please enter a positive integer."});
    EXPECT_EQ(ui().portEdit->text(), "12001") << "the field shows the port in use, not the refused text";
    EXPECT_EQ(engine.Take(), Lines{"Listen 12001"});
}

TEST_F(Window, ClosingAsksAndOnlyYesCloses)
{
    Open();
    host.yes = false;
    window->close();
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(engine.Take().empty());
    host.yes = true;
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(engine.Take(), Lines{"Close"}) << "the engine saves and ends";
    EXPECT_EQ(host.questions, Lines(2, "Are you sure you want to close the driver?"));
}

TEST_F(Window, TheClientsCloseRequestAndASignalCloseWithoutTheQuestion)
{
    Open();
    host.yes = false;
    window->CloseRequested();
    EXPECT_TRUE(window->isVisible()) << "after the current event";
    QApplication::processEvents();
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(host.questions.empty());
    EXPECT_EQ(engine.Take(), Lines{"Close"});
}

TEST_F(Window, EscapeDoesNothing)
{
    Open();
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &escape);
    QApplication::processEvents();
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(host.questions.empty());
}

TEST_F(Window, TheEnginesMessagesAreBoxesWithTheirCaption)
{
    Open();
    window->Message("CAN driver timeout error!", Caption::Error);
    EXPECT_EQ(host.said, Lines{"CAN driver timeout error!"});
    EXPECT_EQ(host.captions, std::vector<Caption>{Caption::Error});
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

TEST_F(Window, EachAdapterOffersItsMenu)
{
    using Items = std::vector<std::pair<QString, int>>;
    TempDir dir;
    IniFile ini(dir.Write("Nalvexa.ini", "[TR7100]\nSerialPort=/nonexistent\n"));
    ManualClock clock;
    FakeNotifier notifier;
    FakeSerialDevice device;
    LoopbackCanLibrary can;
    AdapterContext context{clock, notifier, ini, device, can};
    const Items help = {{"&Help", -1}, {"&About Driver...", 32778}};
    auto with = [&](Items protocol) {
        protocol.insert(protocol.begin(), {"P&rotocol", -1});
        protocol.insert(protocol.end(), {{"-", 0}, {"Trace", 32800}});
        protocol.insert(protocol.end(), help.begin(), help.end());
        return protocol;
    };
    const struct Case {
        std::function<std::unique_ptr<IDriverAdapter>()> make;
        Items menu;
    } cases[] = {
        {[&] { return std::make_unique<CAdapterTR7100>(context); },
         with({{"Set Timeouts...", 32793}, {"Configure Serial Port...", 32794}})},
        {[&] { return std::make_unique<CAdapterLVT>(context); },
         with({{"Set Timeouts...", 32791}, {"Configure Serial Port...", 32792}})},
        {[&] { return std::make_unique<CAdapterQMR>(context); },
         with({{"Set Timeouts...", 32784},
               {"Configure Serial Port...", 32785},
               {"-", 0},
               {"Switch Controller To QMR Mode", 32790}})},
        {[&] { return std::make_unique<CAdapterCAN>(can, ini, clock, notifier); },
         with({{"Hardware Interface Driver...", 32779},
               {"Node Identifier Selection...", 32780},
               {"-", 0},
               {"Network Management Services...", 32781},
               {"Layer Setting Services...", 32782},
               {"-", 0},
               {"CAN Message Test...", 32783}})},
    };
    for (const Case& c : cases) {
        engine.state.offer = c.make()->Offer();
        Open();
        EXPECT_EQ(MenuItems(window->menu()), c.menu);
    }
}

TEST_F(Window, MenuCommandsOpenTheirDialogsAndTheOthersGoToTheAdapter)
{
    Open();
    window->OnCommand(kTr7100Timeouts);
    window->OnCommand(kTr7100SerialPort);
    window->OnCommand(kAbout);
    window->OnCommand(kShowSetup);
    EXPECT_EQ(dialogs, (std::vector<QString>{"Timeout Settings", "Serial Port", "About Nalvexa", "TR7100 Driver Setup"}));
    window->OnCommand(kQmrMode);
    EXPECT_EQ(engine.Take(), Lines{"RunAdapterCommand 32790"});
}

TEST_F(Window, TheCanMenuAndSetupOpenTheCanDialogs)
{
    engine.MakeCan();
    Open();
    for (QAction* a : window->menu()->actions().front()->menu()->actions())
        if (!a->isSeparator() && a->text() != "Trace") a->trigger();
    EXPECT_EQ(dialogs, (std::vector<QString>{"CAN Hardware Interface Driver", "CAN Node Identifier Selection",
                                             "CAN NMT", "CAN Layer Setting Services", "CAN Message Test"}));
    window->OnCommand(kShowSetup);
    EXPECT_EQ(dialogs.back(), "CAN Driver Setup");
}

TEST_F(Window, TimeoutSettingsApplyOnlyOnOk)
{
    Open();
    onDialog = [](QDialog& d) {
        EXPECT_EQ(d.findChild<QLineEdit*>("retryTimeoutEdit")->text(), "500");
        d.findChild<QLineEdit*>("retryTimeoutEdit")->setText("250");
        d.findChild<QLineEdit*>("retriesEdit")->setText("3");
        d.findChild<QPushButton*>("okButton")->click();
        return d.result();
    };
    window->OnCommand(kTr7100Timeouts);
    EXPECT_EQ(engine.Take(), Lines{"SetTimeouts 250 3"});

    // Refused entries, then Cancel: nothing is sent.
    onDialog = [](QDialog& d) {
        EXPECT_EQ(d.findChild<QLineEdit*>("retryTimeoutEdit")->text(), "250") << "the engine's new values";
        d.findChild<QLineEdit*>("retryTimeoutEdit")->setText("-1");
        d.findChild<QPushButton*>("okButton")->click();
        EXPECT_EQ(d.focusWidget(), d.findChild<QLineEdit*>("retryTimeoutEdit"));
        d.findChild<QLineEdit*>("retryTimeoutEdit")->setText("100");
        d.findChild<QLineEdit*>("retriesEdit")->setText("two");
        d.findChild<QPushButton*>("okButton")->click();
        d.findChild<QPushButton*>("cancelButton")->click();
        return d.result();
    };
    window->OnCommand(kTr7100Timeouts);
    EXPECT_EQ(host.said, (Lines{"Please enter a positive integer.", "Please enter an integer."}));
    EXPECT_TRUE(engine.Take().empty());
}

TEST_F(Window, ACloseRequestWithADialogOpenClosesTheDialogFirstThenTheWindow)
{
    const std::vector<int> commands = {kTr7100Timeouts, kTr7100SerialPort, kAbout, kShowSetup};
    for (int command : commands) {
        Open();
        int result = -1;
        QString title;
        onDialog = [&](QDialog& d) {
            title = d.windowTitle();
            // The client's close-driver request comes while the dialog waits for the operator.
            QTimer::singleShot(0, window.get(), [this] { window->CloseRequested(); });
            result = d.exec();
            return result;
        };
        window->OnCommand(command);
        EXPECT_EQ(result, QDialog::Rejected) << title.toStdString() << ": closed as Cancel";
        QApplication::processEvents();
        EXPECT_FALSE(window->isVisible()) << title.toStdString();
        EXPECT_EQ(engine.Take(), Lines{"Close"}) << title.toStdString() << ": nothing of the dialog applied";
        for (QWidget* w : QApplication::topLevelWidgets())
            EXPECT_FALSE(qobject_cast<QDialog*>(w) && w->isVisible()) << title.toStdString() << ": nothing left open";
    }
}

TEST_F(Window, ACloseRequestClosesTheCanDialogsToo)
{
    engine.MakeCan();
    for (int command : {kCanHardware, kCanNodeId, kCanNmt, kCanLss, kCanMessageTest}) {
        Open();
        int result = -1;
        onDialog = [&](QDialog& d) {
            QTimer::singleShot(0, window.get(), [this] { window->CloseRequested(); });
            result = d.exec();
            return result;
        };
        window->OnCommand(command);
        EXPECT_EQ(result, QDialog::Rejected) << command;
        QApplication::processEvents();
        EXPECT_FALSE(window->isVisible()) << command;
        const Lines sent = engine.Take();
        EXPECT_NE(std::find(sent.begin(), sent.end(), "Close"), sent.end()) << command;
    }
}

TEST_F(Window, ThePortShownIsThePortItListensOn)
{
    engine.state.port = 40123;  // asked for 0
    Open();
    EXPECT_EQ(ui().portEdit->text(), "40123") << "the port the system chose";
}

TEST_F(Window, AFailureToListenIsSeenWithoutABox)
{
    engine.state.listening = false;
    engine.state.listenError = "127.0.0.1:12001: Address already in use";
    Open();
    EXPECT_EQ(ui().socketStatus->text(), "Cannot listen: 127.0.0.1:12001: Address already in use");
    EXPECT_FALSE(window->windowState() & Qt::WindowMinimized) << "not minimised, so that it is seen";
    EXPECT_TRUE(host.said.empty());
    ui().openButton->click();
    EXPECT_EQ(ui().socketStatus->text(), "");
}

TEST_F(Window, AFailedListenLaterBringsTheMinimisedWindowBackOnce)
{
    Open();
    ASSERT_TRUE(window->windowState() & Qt::WindowMinimized);
    ui().closeButton->click();
    engine.refusedPort = 12001;
    ui().openButton->click();
    EXPECT_EQ(ui().socketStatus->text(), "Cannot listen: 127.0.0.1:12001: Address already in use");
    EXPECT_FALSE(window->windowState() & Qt::WindowMinimized);
    EXPECT_TRUE(host.said.empty());
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
    window->TraceLine("before it opened");
    window->OnCommand(kTrace);
    TraceWindow* trace = window->traceWindow();
    ASSERT_NE(trace, nullptr);
    EXPECT_EQ(engine.Take(), Lines{"Trace on"}) << "tracing while it is open";
    window->OnCommand(kTrace);
    EXPECT_EQ(window->traceWindow(), trace) << "one trace window";
    window->TraceLine("client > read a=0x05 len=2 i1=0x1234 i2=1 i3=0");
    EXPECT_EQ(trace->view()->toPlainText(), "client > read a=0x05 len=2 i1=0x1234 i2=1 i3=0");
    trace->pauseButton()->click();
    window->TraceLine("line > 05 12 34");
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
    EXPECT_EQ(engine.Take(), Lines{"Trace off"}) << "closing it stops the tracing it started";
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
        notifier.Show("text", c.caption);
        EXPECT_EQ(title, c.title);
        EXPECT_EQ(icon, c.icon);
    }
    // The warnings answer OK only to OK; the question Yes only to Yes.
    for (auto [button, ok] : {std::pair{QMessageBox::Ok, true}, std::pair{QMessageBox::Cancel, false}}) {
        QTimer::singleShot(0, [button = button] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            box->button(button)->click();
        });
        EXPECT_EQ(notifier.Confirm("Warning"), ok);
    }
    for (auto [button, yes] : {std::pair{QMessageBox::Yes, true}, std::pair{QMessageBox::No, false},
                               std::pair{QMessageBox::Cancel, false}}) {
        QTimer::singleShot(0, [button = button] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            box->button(button)->click();
        });
        EXPECT_EQ(notifier.Ask("Are you sure you want to close the driver?"), yes);
    }
}

}  // namespace
}  // namespace nalvexa::test
