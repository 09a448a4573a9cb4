// SPDX-License-Identifier: MIT
// The window build as it runs: the engine on a thread of its own with a
// simulated drive behind it, the window on this one. A client is served
// while a dialog is open, the window lives while the engine waits, and the
// window's commands reach the line and the bus.
#include <gtest/gtest.h>

#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <future>
#include <regex>
#include <thread>

#include "engine.h"
#include "fake_engine.h"
#include "harness.h"
#include "posix_text_files.h"
#include "temp_dir.h"
#include "can_message_test_dialog.h"
#include "can_service_dialogs.h"
#include "ui_caninquirelssdialog.h"
#include "ui_canmessagetestdialog.h"
#include "window_face.h"

namespace nalvexa::test {
namespace {

using it::Bytes;

// The engine and the window, as nalvexa-gui puts them together.
class WindowBuild : public ::testing::Test {
protected:
    ~WindowBuild() override { Stop(); }

    void Start(const std::string& ini, const std::string& keyword)
    {
        iniPath = dir.Write("Nalvexa.ini", ini + "[SocketServer]\nSocketPort=0\n");
        CommandLine line;
        line.iniFile = iniPath;
        line.keyword = keyword;
        line.keywordGiven = true;
        engine = std::make_unique<Engine>(line, files);
        std::promise<Engine::Started> started;
        loop = std::thread([this, &started] {
            engine->Run(face, [&started](const Engine::Started& s) {
                started.set_value(s);
                return s.failure.empty();
            });
        });
        const Engine::Started s = started.get_future().get();
        ASSERT_TRUE(s.failure.empty()) << s.failure;
        ASSERT_TRUE(s.state.listening);
        port = static_cast<uint16_t>(s.state.port);
        window = std::make_unique<MainWindow>(*engine, host, "1", s.state);
        face.Attach(window.get());
        window->SetDialogRunner([this](QDialog& d) { return onDialog ? onDialog(d) : int(QDialog::Rejected); });
        window->Initialise();
        window->show();
    }
    // The window closes as the operator closes it, and the engine with it.
    void Stop()
    {
        if (!loop.joinable()) return;
        if (window && window->isVisible()) window->close();
        engine->Close();
        loop.join();
        face.Attach(nullptr);
        window.reset();
    }
    // Runs the window's loop for `ms`, counting the ticks of a timer of the window.
    int TicksFor(int ms)
    {
        int ticks = 0;
        QTimer tick(window.get());
        QObject::connect(&tick, &QTimer::timeout, [&] {
            ++ticks;
            window->update();
        });
        tick.start(10);
        QEventLoop wait;
        QTimer::singleShot(ms, &wait, &QEventLoop::quit);
        wait.exec();
        return ticks;
    }
    // Until `done` holds or the time is up, with the window's loop running.
    bool Within(int ms, const std::function<bool()>& done)
    {
        for (int waited = 0; waited < ms && !done(); waited += 10) TicksFor(10);
        return done();
    }

    TempDir dir;
    std::string iniPath;
    PosixTextFiles files;
    FakeHost host;
    QObject context;
    WindowFace face{context};
    std::unique_ptr<Engine> engine;
    std::thread loop;
    std::unique_ptr<MainWindow> window;
    std::function<int(QDialog&)> onDialog;
    uint16_t port = 0;
};

TEST_F(WindowBuild, AReadIsAnsweredWhileADialogIsOpenAndTheDialogsChangeIsSavedOnClosing)
{
    it::Process sim({NALVEXA_SIM_BIN, "tr7100", "--set=1=0x0102", "--quiet"});
    const std::string device = sim.WaitForLine("device ").substr(7);
    ASSERT_FALSE(device.empty());
    Start("[TR7100]\nSerialPort=" + device + "\n", "TR7100");
    Bytes answer;
    onDialog = [&](QDialog& d) {
        QTimer::singleShot(0, &d, [&] {
            // The client is served from the engine's thread while this dialog waits for the operator.
            it::Client client(port);
            client.Send(it::ReadRequest(5, 2, 1, 1, 0));
            answer = client.Receive(6);
            d.findChild<QLineEdit*>("retryTimeoutEdit")->setText("250");
            d.findChild<QPushButton*>("okButton")->click();
        });
        return d.exec();
    };
    window->OnCommand(kTr7100Timeouts);
    EXPECT_EQ(answer, (Bytes{0, 0, 0, 0, 0x02, 0x01}));
    host.yes = true;
    window->close();
    EXPECT_FALSE(window->isVisible());
    loop.join();
    EXPECT_NE(it::ReadFile(iniPath).find("RetryTimeout=250"), std::string::npos) << it::ReadFile(iniPath);
}

TEST_F(WindowBuild, TheClientsCloseRequestClosesTheWindowAndTheEngine)
{
    it::Process sim({NALVEXA_SIM_BIN, "tr7100", "--quiet"});
    Start("[TR7100]\nSerialPort=" + sim.WaitForLine("device ").substr(7) + "\n", "TR7100");
    it::Client client(port);
    client.Send(it::CloseRequest());
    EXPECT_EQ(client.Receive(2, 2000), Bytes{0x00}) << "its one-byte answer, then the end";
    EXPECT_TRUE(Within(3000, [&] { return !window->isVisible(); })) << "closed without the question";
    EXPECT_TRUE(host.questions.empty());
    loop.join();
    EXPECT_NE(it::ReadFile(iniPath).find("SerialPort="), std::string::npos) << "the settings saved";
}

TEST_F(WindowBuild, TheWindowLivesWhileTheEngineWaitsForASilentCanDrive)
{
    it::Process sim({NALVEXA_SIM_BIN, "canopen", "--silent", "--quiet"});
    Start("[CAN]\nChannel=slcan:" + sim.WaitForLine("device ").substr(7) + "\n", "CAN");
    it::Client client(port);
    client.Send(it::ReadRequest(0, 4, 0x2000, 1, 1));
    EXPECT_GE(TicksFor(300), 10) << "repainted and its timers served meanwhile";
    EXPECT_TRUE(client.Silent(10)) << "the answer is still awaited";
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

TEST_F(WindowBuild, TheQmrModeSwitchSendsItsSequenceASecondApartAndTheWindowLivesMeanwhile)
{
    it::Process sim({NALVEXA_SIM_BIN, "qmr", "--times", "--bytes", "--quiet"});
    Start("[TR7100]\nSerialPort=" + sim.WaitForLine("device ").substr(7) + "\n", "QMR");
    window->OnCommand(kQmrMode);
    EXPECT_GE(TicksFor(6300), 300) << "the window is not held for the six seconds";
    const auto bytes = BytesReceived(sim.err());
    ASSERT_EQ(bytes.size(), 6u) << sim.err();
    const char* sequence[] = {"0d", "0d", "10", "53", "43", "0d"};
    for (size_t i = 0; i < 6; ++i) EXPECT_EQ(bytes[i].second, sequence[i]) << i;
    for (size_t i = 1; i < 6; ++i) {
        EXPECT_GE(bytes[i].first - bytes[i - 1].first, 900) << i;
        EXPECT_LE(bytes[i].first - bytes[i - 1].first, 1200) << i;
    }
}

TEST_F(WindowBuild, TheCanDialogsReachTheBusAndShowWhatComesBack)
{
    it::Process sim({NALVEXA_SIM_BIN, "canopen", "--identity=10/11/12/13"});
    Start("[CAN]\nChannel=slcan:" + sim.WaitForLine("device ").substr(7) + "\n", "CAN");
    onDialog = [](QDialog& d) {
        QTimer::singleShot(0, &d, [&d] {
            d.findChild<QPushButton*>("startButton")->click();
            d.accept();
        });
        return d.exec();
    };
    host.confirm = true;
    window->OnCommand(kCanNmt);
    EXPECT_TRUE(Within(3000, [&] { return sim.err().find("nmt operational") != std::string::npos; })) << sim.err();
    EXPECT_EQ(host.warnings.size(), 1u);

    // The inquiry's answer comes back to its dialog through the window.
    CCANInquireLssDlg inquire(*engine, window->events(), window.get());
    EXPECT_TRUE(Within(5000, [&] { return inquire.inquired(); }));
    EXPECT_EQ(inquire.ui().vendorEdit->text(), "10");
    EXPECT_EQ(inquire.ui().serialEdit->text(), "13");

    CCANMessageTestDlg test(*engine, host, window->events(), window.get());
    test.ui().readButton->click();
    EXPECT_TRUE(Within(3000, [&] { return test.ui().receiveList->count() > 0; }));
}

}  // namespace
}  // namespace nalvexa::test
