// SPDX-License-Identifier: MIT
// The "Serial Port", "Timeout Settings" and setup dialogs, through their widgets.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "adapters/tr7100/adapter_tr7100.h"
#include "fake_serial_adapter.h"
#include "fakes.h"
#include "loopback_can_library.h"
#include "manual_clock.h"
#include "temp_dir.h"
#include "serial_port_dialog.h"
#include "serial_setup_dialog.h"
#include "timeout_settings_dialog.h"
#include "ui_serialportdialog.h"
#include "ui_serialsetupdialog.h"
#include "ui_timeoutsettingsdialog.h"

namespace nalvexa::test {
namespace {

const QStringList kPorts = {"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyUSB0"};

TEST(SerialPortDialog, StatesFollowThePort)
{
    FakeSerialAdapter adapter;
    adapter.portName = "/dev/ttyS1";
    SerialPortDialog closed(adapter, kPorts);
    auto& ui = closed.ui();
    EXPECT_TRUE(ui.openButton->isEnabled());
    EXPECT_TRUE(ui.portList->isEnabled());
    EXPECT_FALSE(ui.closeButton->isEnabled());
    EXPECT_FALSE(ui.baudList->isEnabled());
    EXPECT_FALSE(ui.parityList->isEnabled());
    EXPECT_FALSE(ui.stopBitsList->isEnabled());
    EXPECT_EQ(ui.portList->currentText(), "/dev/ttyS1");
    EXPECT_EQ(ui.baudList->currentText(), "19200");
    EXPECT_EQ(ui.baudList->count(), 15);

    ui.portList->setCurrentIndex(2);
    ui.openButton->click();
    EXPECT_EQ(adapter.portName, "/dev/ttyUSB0") << "applied before opening";
    EXPECT_TRUE(adapter.open);
    EXPECT_FALSE(ui.openButton->isEnabled());
    EXPECT_FALSE(ui.portList->isEnabled());
    EXPECT_TRUE(ui.closeButton->isEnabled());
    ui.closeButton->click();
    EXPECT_FALSE(adapter.open);
    EXPECT_TRUE(ui.openButton->isEnabled());
}

TEST(SerialPortDialog, APortTheUserClosedStaysClosed)
{
    TempDir dir;
    IniFile ini(dir.Write("Nalvexa.ini", "[TR7100]\nSerialPort=/dev/ttyUSB0\nReopenInterval=100\n"));
    ManualClock clock;
    FakeNotifier notifier;
    FakeSerialDevice device;
    LoopbackCanLibrary can;
    CAdapterTR7100 adapter(AdapterContext{clock, notifier, ini, device, can});
    SerialPortDialog dialog(adapter, kPorts);
    dialog.ui().closeButton->click();
    clock.Advance(10000);
    EXPECT_FALSE(adapter.IsPortOpen());
    EXPECT_EQ(device.opens, 1);

    device.openResult = SerialOpenResult::OpenFailed;  // the device is not there yet
    dialog.ui().openButton->click();
    device.openResult = SerialOpenResult::Ok;
    clock.Advance(100);
    EXPECT_TRUE(adapter.IsPortOpen()) << "opening it there tries until it is there";
}

TEST(SerialPortDialog, OddValuesShowAsTheirDefaultsAndAreSavedSo)
{
    FakeSerialAdapter adapter;
    adapter.parity = 7;
    adapter.baudRate = 12345;
    adapter.stopBits = 1;
    SerialPortDialog dialog(adapter, kPorts);
    EXPECT_EQ(dialog.ui().parityList->currentText(), "None");
    EXPECT_EQ(dialog.ui().baudList->currentText(), "9600");
    EXPECT_EQ(dialog.ui().stopBitsList->currentText(), "1.5");
    dialog.ui().okButton->click();
    EXPECT_EQ(adapter.parity, 0);
    EXPECT_EQ(adapter.baudRate, 9600);
    EXPECT_EQ(adapter.stopBits, 1);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST(SerialPortDialog, APortNameTheSystemDoesNotListIsOfferedAndKept)
{
    FakeSerialAdapter adapter;
    adapter.portName = "/dev/pts/7";
    SerialPortDialog dialog(adapter, kPorts);
    EXPECT_EQ(dialog.ui().portList->count(), 4);
    EXPECT_EQ(dialog.ui().portList->currentText(), "/dev/pts/7");
    dialog.ui().okButton->click();
    EXPECT_EQ(adapter.portName, "/dev/pts/7");

    adapter.portName = "/dev/ttyS";  // selects the first entry that begins with it
    SerialPortDialog prefix(adapter, kPorts);
    EXPECT_EQ(prefix.ui().portList->currentText(), "/dev/ttyS0");
}

TEST(SerialPortDialog, CancelAppliesNothing)
{
    FakeSerialAdapter adapter;
    SerialPortDialog dialog(adapter, kPorts);
    dialog.ui().portList->setCurrentIndex(0);
    dialog.ui().cancelButton->click();
    EXPECT_EQ(adapter.portName, "COM1:");
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

TEST(TimeoutSettingsDialog, ShowsTheValuesAndRefusesWhatIsNoNumber)
{
    FakeNotifier notifier;
    TimeoutSettingsDialog dialog(500, -2, notifier);
    auto& ui = dialog.ui();
    EXPECT_EQ(ui.retryTimeoutEdit->text(), "500");
    EXPECT_EQ(ui.retriesEdit->text(), "-2");
    ui.retryTimeoutEdit->setText("fast");
    ui.okButton->click();
    EXPECT_EQ(notifier.messages.back(), "Please enter a positive integer.");
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    ui.retryTimeoutEdit->setText("0");
    ui.retriesEdit->setText("1.5");
    ui.okButton->click();
    EXPECT_EQ(notifier.messages.back(), "Please enter an integer.");
    ui.retriesEdit->setText("0");
    ui.okButton->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.retryTimeout(), 0) << "0 is accepted for both";
    EXPECT_EQ(dialog.retries(), 0);
}

TEST(SerialSetupDialog, ButtonsRunTheirActions)
{
    int timeouts = 0, serial = 0, qmr = 0;
    SerialSetupDialog plain("TR7100 Driver Setup", {[&] { ++timeouts; }, [&] { ++serial; }, nullptr});
    EXPECT_TRUE(plain.ui().qmrModeButton->isHidden());
    plain.ui().timeoutsButton->click();
    plain.ui().serialPortButton->click();
    EXPECT_EQ(timeouts, 1);
    EXPECT_EQ(serial, 1);

    SerialSetupDialog withMode("QMR Driver Setup", {[&] { ++timeouts; }, [&] { ++serial; }, [&] { ++qmr; }});
    EXPECT_FALSE(withMode.ui().qmrModeButton->isHidden());
    EXPECT_EQ(withMode.ui().qmrModeButton->text(), "Switch Controller to QMR mode");
    withMode.ui().qmrModeButton->click();
    EXPECT_EQ(qmr, 1);
    withMode.ui().closeButton->click();
    EXPECT_EQ(withMode.result(), QDialog::Accepted);
}

}  // namespace
}  // namespace nalvexa::test
