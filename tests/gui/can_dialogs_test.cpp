// SPDX-License-Identifier: MIT
// The CAN dialogs offscreen, on the loopback bus in virtual time.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "can/can_driver.h"
#include "can_hardware_dialog.h"
#include "can_message_test_dialog.h"
#include "can_node_id_dialog.h"
#include "can_service_dialogs.h"
#include "fakes.h"
#include "loopback_can_library.h"
#include "manual_clock.h"
#include "temp_dir.h"
#include "ui_canhardwaredialog.h"
#include "ui_caninquirelssdialog.h"
#include "ui_canlssdialog.h"
#include "ui_canmessagetestdialog.h"
#include "ui_cannmtdialog.h"
#include "ui_cannodeiddialog.h"
#include "ui_cansetbaudratedialog.h"
#include "ui_cansetnodeiddialog.h"

namespace nalvexa::test {
namespace {

class CanDialogs : public ::testing::Test {
protected:
    CanDialogs() : ini(dir.File("Nalvexa.ini")), bus(&clock), can(bus, ini, clock, notifier) { can.InitDriver(); }
    // The procedures the buttons started run to their end, in virtual time.
    void Run()
    {
        const int64_t end = clock.nowMs() + 1000000;
        while (can.busy() && clock.nextDue() <= end) clock.Advance(clock.nextDue() - clock.nowMs());
    }
    TempDir dir;
    IniFile ini;
    ManualClock clock;
    FakeNotifier notifier;
    LoopbackCanLibrary bus;
    CCANDriver can;
};

TEST_F(CanDialogs, ThePortNameFollowsTheInterruptAndAddress)
{
    struct Case {
        uint16_t interrupt;
        uint32_t address;
        const char* port;
    } cases[] = {{7, 0x378, "LPT1"}, {5, 0x278, "LPT2"}, {5, 0x3BC, "LPT3"}, {7, 0x278, "Custom"}, {3, 0x1234, "Custom"}};
    for (const Case& c : cases) {
        can.Interrupt = c.interrupt;
        can.PortAddress = c.address;
        CCANHardwareDlg dialog(can, {}, notifier);
        EXPECT_EQ(dialog.ui().portNameList->currentText(), c.port) << c.interrupt << " " << c.address;
    }
}

TEST_F(CanDialogs, HardwareControlsAreLockedWhileTheBusIsOn)
{
    CCANHardwareDlg dialog(can, {"socketcan:vcan0"}, notifier);
    auto& ui = dialog.ui();
    EXPECT_EQ(ui.portAddressList->currentText(), "0378");
    EXPECT_EQ(ui.rateList->currentText(), "500");
    EXPECT_EQ(ui.channelList->currentText(), "socketcan:can0");
    for (QWidget* w : std::initializer_list<QWidget*>{ui.portNameList, ui.interruptList, ui.portAddressList,
                                                      ui.rateList, ui.busOnButton})
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    EXPECT_TRUE(ui.busOffButton->isEnabled());

    ui.busOffButton->click();
    EXPECT_EQ(can.driverOpen, 0);
    EXPECT_TRUE(ui.portNameList->isEnabled());
    EXPECT_TRUE(ui.rateList->isEnabled());
    EXPECT_TRUE(ui.busOnButton->isEnabled());
    EXPECT_FALSE(ui.busOffButton->isEnabled());
    EXPECT_FALSE(ui.interruptList->isEnabled()) << "only for Custom";
    EXPECT_FALSE(ui.portAddressList->isEnabled());
    ui.portNameList->setCurrentText("Custom");
    EXPECT_TRUE(ui.interruptList->isEnabled());
    EXPECT_TRUE(ui.portAddressList->isEnabled());
}

TEST_F(CanDialogs, TheLpt2PresetThenBusOnOpensThereAtTheChosenRate)
{
    can.DeinitDriver();
    CCANHardwareDlg dialog(can, {"socketcan:vcan0"}, notifier);
    auto& ui = dialog.ui();
    ui.portNameList->setCurrentText("LPT2");
    EXPECT_EQ(ui.interruptList->currentText(), "5");
    EXPECT_EQ(ui.portAddressList->currentText(), "0278");
    ui.rateList->setCurrentText("250");
    ui.channelList->setCurrentText("socketcan:vcan0");
    ui.busOnButton->click();
    EXPECT_EQ(bus.initPort, 0x278u);
    EXPECT_EQ(bus.initInterrupt, 5);
    EXPECT_EQ(bus.initBtr, 0x011C);
    EXPECT_EQ(bus.channel, "socketcan:vcan0");
    EXPECT_EQ(can.driverOpen, 1);
    EXPECT_FALSE(ui.busOnButton->isEnabled());
}

TEST_F(CanDialogs, ANodeIdProposesItsCobIds)
{
    CCANNodeIdDlg dialog(can, notifier);
    auto& ui = dialog.ui();
    EXPECT_EQ(ui.nodeIdEcho->text(), "0x1");
    EXPECT_FALSE(ui.nodeIdEcho->isEnabled());
    ui.nodeIdEdit->setText("5");
    emit ui.nodeIdEdit->textEdited("5");
    EXPECT_EQ(ui.transmitEdit->text(), "1541");
    EXPECT_EQ(ui.receiveEdit->text(), "1413");
    EXPECT_EQ(ui.nodeIdEcho->text(), "0x5");
    EXPECT_EQ(ui.transmitEcho->text(), "0x605");
    EXPECT_EQ(ui.receiveEcho->text(), "0x585");
    ui.okButton->click();
    EXPECT_EQ(can.NodeIdentifier, 5);
    EXPECT_EQ(can.SdoTransmitCobId, 1541);
    EXPECT_EQ(can.SdoReceiveCobId, 1413);

    CCANNodeIdDlg refused(can, notifier);
    refused.ui().nodeIdEdit->setText("128");
    refused.ui().okButton->click();
    EXPECT_EQ(notifier.messages.back(), "Please enter an integer between 0 and 127.");
    EXPECT_EQ(can.NodeIdentifier, 5);
}

TEST_F(CanDialogs, TheNmtWarningIsConfirmedOnceARun)
{
    CCANNmtDlg dialog(can, notifier);
    notifier.warningAnswer = Answer::Cancel;
    dialog.ui().startButton->click();
    EXPECT_TRUE(bus.sent.empty());
    notifier.warningAnswer = Answer::Ok;
    dialog.ui().startButton->click();
    dialog.ui().resetNodeButton->click();
    CCANNmtDlg again(can, notifier);
    again.ui().stopButton->click();
    Run();
    EXPECT_EQ(notifier.warnings, std::vector<std::string>(2, kNmtWarning)) << "again after a Cancel, then never";
    ASSERT_EQ(bus.sent.size(), 3u);
    EXPECT_EQ(bus.sent[0].data[0], 0x01);
    EXPECT_EQ(bus.sent[1].data[0], 0x81);
    EXPECT_EQ(bus.sent[2].data[0], 0x02);
}

TEST_F(CanDialogs, LssWarningsGuardTheirProcedures)
{
    std::vector<QString> opened;
    CCANLssDlg dialog(can, notifier, [&](QDialog& d) {
        opened.push_back(d.windowTitle());
        return 0;
    });
    notifier.warningAnswer = Answer::Cancel;
    dialog.ui().setBaudrateButton->click();
    dialog.ui().inquireButton->click();
    EXPECT_TRUE(opened.empty());
    EXPECT_TRUE(bus.sent.empty()) << "Cancel sends nothing";
    EXPECT_EQ(notifier.warnings, (std::vector<std::string>{kBitRateWarning, kInquireWarning}));
    dialog.ui().setNodeIdButton->click();
    notifier.warningAnswer = Answer::Ok;
    dialog.ui().setBaudrateButton->click();
    EXPECT_EQ(opened, (std::vector<QString>{"CAN Set Node Identifier", "CAN Set CAN baudrate"}));
}

TEST_F(CanDialogs, SetBaudrateNeedsARate)
{
    can.CANBaudRate = 0x1234;
    CCANSetBaudrateDlg dialog(can);
    EXPECT_EQ(dialog.ui().rateList->currentIndex(), -1);
    dialog.ui().okButton->click();
    EXPECT_TRUE(bus.sent.empty());
    EXPECT_NE(dialog.result(), QDialog::Accepted) << "stays open";
    dialog.ui().rateList->setCurrentText("125");
    dialog.ui().okButton->click();
    Run();
    EXPECT_EQ(bus.initBtr, 0x031C);
    EXPECT_EQ(bus.sent[1].data[2], 4) << "table index of 125 kbit/s";
}

TEST_F(CanDialogs, SetNodeIdWarnsByWhetherASerialNumberIsGiven)
{
    CCANSetNodeIdDlg global(can, notifier);
    EXPECT_EQ(global.ui().nodeIdEdit->text(), "1");
    global.ui().nodeIdEdit->setText("9");
    notifier.warningAnswer = Answer::Cancel;
    global.ui().okButton->click();
    EXPECT_EQ(notifier.warnings.back(), kSetNodeIdGlobalWarning);
    EXPECT_TRUE(bus.sent.empty());

    notifier.warningAnswer = Answer::Ok;
    for (const char* serial : {"305419896", "0x12345678"}) {
        bus.sent.clear();
        CCANSetNodeIdDlg selective(can, notifier);
        selective.ui().nodeIdEdit->setText("9");
        selective.ui().serialEdit->setText(serial);
        selective.ui().okButton->click();
        Run();
        EXPECT_EQ(notifier.warnings.back(), kSetNodeIdSerialWarning);
        ASSERT_EQ(bus.sent.size(), 4u) << serial;
        EXPECT_EQ(bus.sent[0].data[0], 0x43);
        EXPECT_EQ(bus.sent[0].data[1], 0x78) << serial << " is 0x12345678";
        EXPECT_EQ(bus.sent[0].data[4], 0x12);
        EXPECT_EQ(bus.sent[1].data[1], 9);
    }
    EXPECT_EQ(can.NodeIdentifier, 1);
}

TEST_F(CanDialogs, ASerialNumberThatIsNoneStartsNothing)
{
    for (const char* serial : {"abc", "99999999999", "4294967296", "-1", "305419896x", "0x", "0x1FFFFFFFF"}) {
        notifier.messages.clear();
        notifier.warnings.clear();
        CCANSetNodeIdDlg dialog(can, notifier);
        dialog.ui().serialEdit->setText(serial);
        dialog.ui().okButton->click();
        EXPECT_EQ(notifier.messages,
                  std::vector<std::string>{"Please enter a serial number from 0 to 4294967295 (or 0x0 to 0xFFFFFFFF)."})
            << serial;
        EXPECT_TRUE(notifier.warnings.empty()) << serial;
        EXPECT_TRUE(bus.sent.empty()) << serial;
    }
    // The node-ID as the standard checks word it: first a byte, then the range.
    for (const auto& [text, message] : std::vector<std::pair<const char*, const char*>>{
             {"x", "Please enter an integer between 0 and 255."}, {"300", "Please enter an integer between 0 and 255."},
             {"200", "Please enter an integer between 0 and 127."}}) {
        notifier.messages.clear();
        CCANSetNodeIdDlg dialog(can, notifier);
        dialog.ui().nodeIdEdit->setText(text);
        dialog.ui().okButton->click();
        EXPECT_EQ(notifier.messages, std::vector<std::string>{message}) << text;
    }
}

TEST_F(CanDialogs, TheMessageTestSendsNothingWhileAnyFieldIsRefused)
{
    CCANMessageTestDlg dialog(can, notifier);
    auto& ui = dialog.ui();
    EXPECT_TRUE(bus.filters.back().empty()) << "every frame on the bus, while it is open";
    const std::string hundredDigits(100, '9');
    const struct Case {
        QLineEdit* field;
        const char* text;
        const char* message;
    } cases[] = {
        {ui.idEdit, "", "Please enter an integer between 0 and 2047."},
        {ui.idEdit, "2048", "Please enter an integer between 0 and 2047."},
        {ui.idEdit, "-1", "Please enter an integer between 0 and 2047."},
        {ui.lengthEdit, "x", "Please enter an integer between 0 and 255."},
        {ui.data3Edit, "x", "Please enter an integer between 0 and 255."},
        {ui.data7Edit, hundredDigits.c_str(), "Please enter an integer between 0 and 255."},
    };
    for (const Case& c : cases) {
        ui.idEdit->setText("1537");
        ui.lengthEdit->setText("8");
        for (QLineEdit* d : dialog.findChildren<QLineEdit*>(QRegularExpression("^data[0-7]Edit$"))) d->setText("1");
        c.field->setText(c.text);
        notifier.messages.clear();
        ui.writeButton->click();
        EXPECT_EQ(notifier.messages, std::vector<std::string>{c.message}) << c.text;
        EXPECT_TRUE(bus.sent.empty()) << "no frame, least of all an NMT command on 0x000";
    }
    EXPECT_LE(dialog.sizeHint().width(), 600) << "no wider than its fields need";
}

TEST_F(CanDialogs, APortAddressThatIsNoHexNumberIsRefusedAndTheOldOneShown)
{
    can.DeinitDriver();
    can.Interrupt = 3;
    can.PortAddress = 0x300;
    const int inits = bus.inits;
    CCANHardwareDlg dialog(can, {"socketcan:vcan0"}, notifier);
    for (const char* text : {"ZZZZ", "12345", "", "-1", "0x12"}) {
        notifier.messages.clear();
        dialog.ui().portAddressList->setCurrentText(text);
        dialog.ui().busOnButton->click();
        EXPECT_EQ(notifier.messages,
                  std::vector<std::string>{"Please enter a port address of one to four hexadecimal digits (0000 to FFFF)."})
            << text;
        EXPECT_EQ(dialog.ui().portAddressList->currentText(), "0300") << "the address in use, visibly";
        EXPECT_EQ(bus.inits, inits) << "nothing opened";
    }
    dialog.ui().portAddressList->setCurrentText("2e8");
    dialog.ui().busOnButton->click();
    EXPECT_EQ(can.PortAddress, 0x2E8u);
}

TEST_F(CanDialogs, TheNodeIdEchoesShowWhatTheFieldsHold)
{
    CCANNodeIdDlg dialog(can, notifier);
    dialog.ui().transmitEdit->setText("99999999999");
    emit dialog.ui().transmitEdit->textEdited("99999999999");
    EXPECT_EQ(dialog.ui().transmitEcho->text(), "") << "no number a COB-ID can be";
    dialog.ui().transmitEdit->setText("1541");
    emit dialog.ui().transmitEdit->textEdited("1541");
    EXPECT_EQ(dialog.ui().transmitEcho->text(), "0x605");
    dialog.ui().nodeIdEdit->setText("x");
    emit dialog.ui().nodeIdEdit->textEdited("x");
    EXPECT_EQ(dialog.ui().nodeIdEcho->text(), "");
}

TEST_F(CanDialogs, InquireShowsTheIdentityReadAsItOpens)
{
    bus.SetDrive([](const CanMessage& sent, LoopbackCanLibrary& b) {
        if (sent.data[0] < 0x5A || sent.data[0] > 0x5D) return;
        CanMessage m;
        m.id = 0x7E4;
        m.length = 8;
        m.data[0] = sent.data[0];
        m.data[1] = static_cast<uint8_t>(sent.data[0] - 0x50);
        b.Queue(m);
    });
    CCANInquireLssDlg dialog(can);
    EXPECT_FALSE(dialog.inquired()) << "the dialog is up while the drive is asked";
    Run();
    EXPECT_TRUE(dialog.inquired());
    EXPECT_EQ(dialog.ui().vendorEdit->text(), "10");
    EXPECT_EQ(dialog.ui().productEdit->text(), "11");
    EXPECT_EQ(dialog.ui().revisionEdit->text(), "12");
    EXPECT_EQ(dialog.ui().serialEdit->text(), "13");
}

TEST_F(CanDialogs, TheMessageTestWritesAndReadsRawFrames)
{
    CCANMessageTestDlg dialog(can, notifier);
    auto& ui = dialog.ui();
    int64_t before = clock.nowMs();
    ui.readButton->click();
    EXPECT_EQ(clock.nowMs(), before) << "no waiting";
    ASSERT_EQ(ui.receiveList->count(), 1);
    EXPECT_EQ(ui.receiveList->item(0)->text(), "Receive Queue Empty");

    CanMessage m;
    m.id = 0x581;
    m.length = 2;
    m.data[0] = 0xAB;
    m.data[1] = 0x01;
    bus.Queue(m);
    clock.Advance(0);
    ui.readButton->click();
    ASSERT_EQ(ui.receiveList->count(), 4);
    EXPECT_EQ(ui.receiveList->item(1)->text(), "Message Received OK");
    EXPECT_EQ(ui.receiveList->item(2)->text(), "ID = 000581");
    EXPECT_EQ(ui.receiveList->item(3)->text(), "Data = AB 01 00 00 00 00 00 00 ");

    ui.idEdit->setText("1537");
    ui.lengthEdit->setText("2");
    ui.data0Edit->setText("64");
    ui.data1Edit->setText("300");  // refused: nothing goes out
    ui.writeButton->click();
    EXPECT_EQ(notifier.messages, std::vector<std::string>{"Please enter an integer between 0 and 255."});
    EXPECT_TRUE(bus.sent.empty());
    ui.data1Edit->setText("0");
    ui.writeButton->click();
    Run();
    ASSERT_EQ(bus.sent.size(), 1u);
    EXPECT_EQ(uint32_t{bus.sent[0].id}, 1537u);
    EXPECT_EQ(bus.sent[0].length, 2);
    EXPECT_EQ(bus.sent[0].data[0], 64);
    EXPECT_EQ(bus.sent[0].data[1], 0);

    bus.FailWrites(can::kIllParamVal);  // as the real back ends answer a length above 8
    ui.data1Edit->setText("1");
    ui.lengthEdit->setText("9");
    ui.writeButton->click();
    Run();
    EXPECT_EQ(notifier.messages.back(), "Error executing OnWrite");
    EXPECT_EQ(notifier.captions.back(), Caption::Info);
    bus.FailNextRead(can::kBusOff);
    ui.readButton->click();
    EXPECT_EQ(ui.receiveList->item(ui.receiveList->count() - 1)->text(), "Read Error");
}

}  // namespace
}  // namespace nalvexa::test
