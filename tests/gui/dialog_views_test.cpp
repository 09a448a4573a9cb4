// SPDX-License-Identifier: MIT
// Each dialog as a view of its logic, offscreen: the widgets show what the
// logic holds, the buttons send through it, and the engine's events reach
// the widgets. What each field accepts is the logic's own unit test.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "can_hardware_dialog.h"
#include "can_message_test_dialog.h"
#include "can_node_id_dialog.h"
#include "can_service_dialogs.h"
#include "fake_engine.h"
#include "serial_port_dialog.h"
#include "serial_setup_dialog.h"
#include "timeout_settings_dialog.h"
#include "ui_canhardwaredialog.h"
#include "ui_caninquirelssdialog.h"
#include "ui_canlssdialog.h"
#include "ui_canmessagetestdialog.h"
#include "ui_cannmtdialog.h"
#include "ui_cannodeiddialog.h"
#include "ui_cansetbaudratedialog.h"
#include "ui_cansetnodeiddialog.h"
#include "ui_serialportdialog.h"
#include "ui_serialsetupdialog.h"
#include "ui_timeoutsettingsdialog.h"

namespace nalvexa::test {
namespace {

using Lines = std::vector<std::string>;

struct Views : ::testing::Test {
    Views()
    {
        serial.line.portName = "/dev/ttyS1";
        serial.retryTimeout = 500;
        serial.retries = 5;
        can.hardware = {5, 0x278, can::kBtr250k, "socketcan:can0"};
    }
    void Tell()
    {
        EngineState s;
        s.serial = serial;
        s.can = can;
        emit events.changed(s);
    }
    FakeEngine engine;
    FakeHost host;
    EngineEvents events;
    SerialState serial;
    CanState can;
};

TEST_F(Views, TheSerialPortDialogShowsTheLineAndFollowsThePortThroughTheEngine)
{
    SerialPortDialog dialog(engine, events, serial, {"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyUSB0"});
    auto& ui = dialog.ui();
    EXPECT_EQ(ui.portList->currentText(), "/dev/ttyS1");
    EXPECT_EQ(ui.baudList->currentText(), "19200");
    EXPECT_EQ(ui.baudList->count(), 15);
    EXPECT_EQ(ui.parityList->currentText(), "None");
    EXPECT_FALSE(ui.baudList->isEnabled()) << "shown, not chosen here";
    EXPECT_TRUE(ui.openButton->isEnabled());
    EXPECT_FALSE(ui.closeButton->isEnabled());

    ui.portList->setCurrentIndex(2);
    ui.openButton->click();
    EXPECT_EQ(engine.Take(), (Lines{"SetSerialLine /dev/ttyUSB0 19200 0 0", "OpenPort"}));
    EXPECT_TRUE(ui.openButton->isEnabled()) << "open only when the engine says so";
    serial.portOpen = true;
    Tell();
    EXPECT_FALSE(ui.openButton->isEnabled());
    EXPECT_FALSE(ui.portList->isEnabled());
    EXPECT_TRUE(ui.closeButton->isEnabled());
    ui.closeButton->click();
    EXPECT_EQ(engine.Take(), Lines{"ClosePort"});
    ui.cancelButton->click();
    EXPECT_TRUE(engine.Take().empty()) << "Cancel applies nothing";
    ui.okButton->click();
    EXPECT_EQ(engine.Take(), Lines{"SetSerialLine /dev/ttyUSB0 19200 0 0"});
}

TEST_F(Views, TheTimeoutDialogFocusesTheFieldItRefuses)
{
    TimeoutSettingsDialog dialog(engine, host, serial);
    dialog.show();
    auto& ui = dialog.ui();
    EXPECT_EQ(ui.retryTimeoutEdit->text(), "500");
    EXPECT_EQ(ui.retriesEdit->text(), "5");
    ui.retriesEdit->setText("two");
    ui.okButton->click();
    EXPECT_EQ(host.said, Lines{"Please enter an integer."});
    EXPECT_EQ(dialog.focusWidget(), ui.retriesEdit);
    EXPECT_EQ(ui.retriesEdit->selectedText(), "two");
    EXPECT_TRUE(dialog.isVisible());
    ui.retriesEdit->setText("2");
    ui.okButton->click();
    EXPECT_EQ(engine.Take(), Lines{"SetTimeouts 500 2"});
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST_F(Views, ASerialSetupShowsTheModeButtonOnlyForItsAdapter)
{
    int timeouts = 0, ports = 0;
    SerialSetupDialog qmr(engine, {{}, SetupDialog::Serial, "QMR Driver Setup", kQmrMode},
                          {[&] { ++timeouts; }, [&] { ++ports; }});
    EXPECT_EQ(qmr.windowTitle(), "QMR Driver Setup");
    EXPECT_FALSE(qmr.ui().qmrModeButton->isHidden());
    qmr.ui().timeoutsButton->click();
    qmr.ui().serialPortButton->click();
    qmr.ui().qmrModeButton->click();
    EXPECT_EQ(timeouts, 1);
    EXPECT_EQ(ports, 1);
    EXPECT_EQ(engine.Take(), Lines{"RunAdapterCommand 32790"});
    SerialSetupDialog lvt(engine, {{}, SetupDialog::Serial, "LVT Driver Setup", 0}, {[] {}, [] {}});
    EXPECT_TRUE(lvt.ui().qmrModeButton->isHidden());
}

TEST_F(Views, TheHardwareDialogsPresetsBusOnAndLocksFollowTheEngine)
{
    can.open = false;
    CCANHardwareDlg dialog(engine, host, events, can, {"socketcan:vcan0"});
    auto& ui = dialog.ui();
    EXPECT_EQ(ui.portNameList->currentText(), "LPT2");
    EXPECT_EQ(ui.rateList->currentText(), "250");
    EXPECT_EQ(ui.channelList->currentText(), "socketcan:can0");
    EXPECT_EQ(ui.channelList->count(), 2);
    EXPECT_FALSE(ui.interruptList->isEnabled()) << "only for Custom";
    ui.portNameList->setCurrentText("LPT1");
    EXPECT_EQ(ui.interruptList->currentText(), "7");
    EXPECT_EQ(ui.portAddressList->currentText(), "0378");
    ui.portNameList->setCurrentText("Custom");
    EXPECT_TRUE(ui.interruptList->isEnabled());
    ui.portAddressList->setCurrentText("12345");
    ui.busOnButton->click();
    EXPECT_EQ(host.said.size(), 1u);
    EXPECT_EQ(ui.portAddressList->currentText(), "0278") << "the address in use, visibly";
    EXPECT_TRUE(engine.Take().empty());
    ui.portAddressList->setCurrentText("02E8");
    ui.channelList->setCurrentText("socketcan:vcan0");
    ui.busOnButton->click();
    EXPECT_EQ(engine.Take(), Lines{"CanBusOn irq 7 address 02E8 btr 011C socketcan:vcan0"});
    can.open = true;
    Tell();
    for (QWidget* w : std::initializer_list<QWidget*>{ui.portNameList, ui.interruptList, ui.portAddressList,
                                                      ui.rateList, ui.channelList, ui.busOnButton})
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    EXPECT_TRUE(ui.busOffButton->isEnabled());
    ui.busOffButton->click();
    EXPECT_EQ(engine.Take(), Lines{"CanBusOff"});
}

TEST_F(Views, TheNodeIdDialogProposesAsTheOperatorTypesAndSendsOnOk)
{
    CCANNodeIdDlg dialog(engine, host, can);
    auto& ui = dialog.ui();
    EXPECT_EQ(ui.nodeIdEcho->text(), "0x1");
    EXPECT_FALSE(ui.nodeIdEcho->isEnabled());
    ui.nodeIdEdit->setText("5");
    emit ui.nodeIdEdit->textEdited("5");
    EXPECT_EQ(ui.transmitEdit->text(), "1541");
    EXPECT_EQ(ui.receiveEcho->text(), "0x585");
    ui.receiveEdit->setText("x");
    emit ui.receiveEdit->textEdited("x");
    EXPECT_EQ(ui.receiveEcho->text(), "");
    ui.okButton->click();
    EXPECT_EQ(host.said, Lines{"Please enter an integer."});
    EXPECT_TRUE(engine.Take().empty());
    ui.receiveEdit->setText("1413");
    ui.okButton->click();
    EXPECT_EQ(engine.Take(), Lines{"SetCanIdentifiers 5 1541 1413"});
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST_F(Views, NmtButtonsSendTheirCommandsAfterTheWarning)
{
    CCANNmtDlg dialog(engine, host, events, can);
    auto& ui = dialog.ui();
    host.confirm = false;
    ui.startButton->click();
    EXPECT_TRUE(engine.Take().empty());
    host.confirm = true;
    ui.startButton->click();
    ui.stopButton->click();
    ui.preOperationalButton->click();
    ui.resetNodeButton->click();
    ui.resetCommunicationButton->click();
    EXPECT_EQ(engine.Take(), (Lines{"Nmt 0", "Nmt 1", "Nmt 2", "Nmt 3", "Nmt 4"}));
    EXPECT_EQ(host.warnings.size(), 2u) << "again after a Cancel, then never";
}

TEST_F(Views, TheLssDialogOpensItsProceduresAndTheyStartFromTheSettingsInUse)
{
    std::vector<QString> opened;
    CCANLssDlg dialog(engine, host, events, can, [&](QDialog& d) {
        opened.push_back(d.windowTitle());
        if (auto* rate = d.findChild<QComboBox*>("rateList")) EXPECT_EQ(rate->currentText(), "500");
        return int(QDialog::Rejected);
    });
    can.hardware.bitTiming = can::kBtr500k;
    Tell();  // the rate changed meanwhile
    host.confirm = false;
    dialog.ui().setBaudrateButton->click();
    dialog.ui().inquireButton->click();
    EXPECT_TRUE(opened.empty()) << "cancelled warnings open nothing";
    host.confirm = true;
    dialog.ui().setNodeIdButton->click();
    dialog.ui().setBaudrateButton->click();
    dialog.ui().inquireButton->click();
    EXPECT_EQ(opened, (std::vector<QString>{"CAN Set Node Identifier", "CAN Set CAN baudrate", "CAN Inquire LSS Address"}));
    EXPECT_EQ(engine.Take(), Lines{"InquireIdentity"});
}

TEST_F(Views, SetNodeIdAndSetBitRateSendWhatTheirFieldsHold)
{
    CCANSetNodeIdDlg node(engine, host, can);
    EXPECT_EQ(node.ui().nodeIdEdit->text(), "1");
    node.ui().nodeIdEdit->setText("9");
    node.ui().serialEdit->setText("0x12345678");
    node.ui().okButton->click();
    EXPECT_EQ(host.warnings, Lines{kSetNodeIdSerialWarning});
    EXPECT_EQ(engine.Take(), Lines{"SetNodeId 9 serial 305419896"});
    EXPECT_EQ(node.result(), QDialog::Accepted);

    CCANSetBaudrateDlg rate(engine, can);
    EXPECT_EQ(rate.ui().rateList->currentText(), "250");
    rate.ui().rateList->setCurrentText("125");
    rate.ui().okButton->click();
    EXPECT_EQ(engine.Take(), Lines{"ChangeBitRate 125"});
}

TEST_F(Views, InquireShowsTheIdentityWhenTheEngineHasIt)
{
    CCANInquireLssDlg dialog(engine, events);
    EXPECT_EQ(engine.Take(), Lines{"InquireIdentity"});
    EXPECT_FALSE(dialog.inquired()) << "the dialog is up while the drive is asked";
    emit events.identityInquired({10, 11, 12, 13});
    EXPECT_TRUE(dialog.inquired());
    EXPECT_EQ(dialog.ui().vendorEdit->text(), "10");
    EXPECT_EQ(dialog.ui().productEdit->text(), "11");
    EXPECT_EQ(dialog.ui().revisionEdit->text(), "12");
    EXPECT_EQ(dialog.ui().serialEdit->text(), "13");
}

TEST_F(Views, TheMessageTestWritesReadsAndListsWhatTheEngineRead)
{
    {
        CCANMessageTestDlg dialog(engine, host, events);
        dialog.show();
        auto& ui = dialog.ui();
        EXPECT_EQ(engine.Take(), Lines{"HearEverything on"});
        EXPECT_LE(dialog.sizeHint().width(), 600) << "no wider than its fields need";
        ui.data3Edit->setText("x");
        ui.writeButton->click();
        EXPECT_EQ(host.said, Lines{"Please enter an integer between 0 and 255."});
        EXPECT_EQ(dialog.focusWidget(), ui.data3Edit);
        EXPECT_TRUE(engine.Take().empty()) << "no frame, least of all an NMT command on 0x000";
        ui.idEdit->setText("1537");
        ui.lengthEdit->setText("2");
        ui.data0Edit->setText("64");
        ui.data3Edit->setText("0");
        ui.writeButton->click();
        EXPECT_EQ(engine.Take(), Lines{"WriteTestFrame 601 [2] 40 00 00 00 00 00 00 00"});
        ui.readButton->click();
        EXPECT_EQ(engine.Take(), Lines{"ReadTestFrame"});
        CanMessage frame;
        frame.id = 0x581;
        frame.data[0] = 0xAB;
        frame.data[1] = 0x01;
        emit events.testFrameRead(can::kQueueEmpty, frame);
        emit events.testFrameRead(can::kOk, frame);
        ASSERT_EQ(ui.receiveList->count(), 4);
        EXPECT_EQ(ui.receiveList->item(0)->text(), "Receive Queue Empty");
        EXPECT_EQ(ui.receiveList->item(2)->text(), "ID = 000581");
        EXPECT_EQ(ui.receiveList->item(3)->text(), "Data = AB 01 00 00 00 00 00 00 ");
    }
    EXPECT_EQ(engine.Take(), Lines{"HearEverything off"});
}

}  // namespace
}  // namespace nalvexa::test
