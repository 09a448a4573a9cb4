// SPDX-License-Identifier: MIT
// The dialogs' logic without a toolkit: what each field accepts, the texts
// that refuse the rest, and what each button sends (nothing, when refused).
#include <gtest/gtest.h>

#include "can_dialogs.h"
#include "can_service_logic.h"
#include "fake_engine.h"
#include "field_rules.h"
#include "serial_dialogs.h"
#include "window_logic.h"

namespace nalvexa::test {
namespace {

using Lines = std::vector<std::string>;

struct Logic : ::testing::Test {
    FakeEngine engine;
    FakeHost host;
};

EngineState Listening(uint32_t port)
{
    EngineState s;
    s.listening = true;
    s.port = port;
    return s;
}

TEST_F(Logic, TheWindowListensOnWhatIsTypedAndKeepsThePortInUseForARefusedText)
{
    EngineState notListening;
    notListening.port = 12001;
    WindowLogic window(engine, host, notListening);
    EXPECT_EQ(window.portText(), "12001");
    window.SetPortText("12x");
    window.Open();
    EXPECT_EQ(host.said, Lines{"Please enter a positive integer."});
    EXPECT_EQ(window.portText(), "12001") << "the field never keeps a refused text";
    EXPECT_EQ(engine.Take(), Lines{"Listen 12001"});

    window.SetPortText("0");
    window.Open();
    EXPECT_EQ(engine.Take(), Lines{"Listen 0"});
    window.Update(Listening(40123));
    EXPECT_EQ(window.portText(), "40123") << "the port the system chose";
    EXPECT_FALSE(window.openEnabled());
    EXPECT_TRUE(window.closeEnabled());

    window.CloseSocket();
    EXPECT_EQ(engine.Take(), (Lines{"CloseClient", "CloseListening"}));
}

TEST_F(Logic, TheWindowsLinesFollowTheClientAndAFailedListen)
{
    EngineState s;
    s.listenError = "0.0.0.0:12001: Address already in use";
    s.deviceState = "Port lost: /dev/ttyUSB0: Input/output error";
    WindowLogic window(engine, host, s);
    EXPECT_EQ(window.socketStatus(), "Cannot listen: 0.0.0.0:12001: Address already in use");
    EXPECT_EQ(window.clientStatus(), "Client not connected");
    EXPECT_FALSE(window.clientCloseEnabled());
    EXPECT_EQ(window.deviceStatus(), s.deviceState);
    s = Listening(12001);
    s.clientConnected = true;
    window.Update(s);
    EXPECT_EQ(window.socketStatus(), "");
    EXPECT_EQ(window.clientStatus(), "Client connected");
    EXPECT_TRUE(window.clientCloseEnabled());
    window.CloseClient();
    EXPECT_EQ(engine.Take(), Lines{"CloseClient"});

    host.yes = false;
    EXPECT_FALSE(window.MayClose());
    EXPECT_EQ(host.questions, Lines{"Are you sure you want to close the driver?"});
    host.yes = true;
    EXPECT_TRUE(window.MayClose());
}

TEST_F(Logic, TimeoutSettingsSendOnlyWhatBothFieldsAccept)
{
    SerialState serial;
    serial.retryTimeout = 500;
    serial.retries = 5;
    const struct Case {
        const char *timeout, *retries;
        const char* said;  // nullptr: accepted
        TimeoutSettingsLogic::Field field;
    } cases[] = {
        {"abc", "5", "Please enter a positive integer.", TimeoutSettingsLogic::kRetryTimeout},
        {"-1", "5", "Please enter a positive integer.", TimeoutSettingsLogic::kRetryTimeout},
        {"3000000000", "5", "Please enter a positive integer.", TimeoutSettingsLogic::kRetryTimeout},
        {"", "5", "Please enter a positive integer.", TimeoutSettingsLogic::kRetryTimeout},
        {"500", "x", "Please enter an integer.", TimeoutSettingsLogic::kRetries},
        {"500", "", "Please enter an integer.", TimeoutSettingsLogic::kRetries},
        {"2147483647", "-3", nullptr, TimeoutSettingsLogic::kNone},
    };
    for (const Case& c : cases) {
        TimeoutSettingsLogic logic(engine, host, serial);
        EXPECT_EQ(logic.retryTimeoutText, "500");
        EXPECT_EQ(logic.retriesText, "5");
        logic.retryTimeoutText = c.timeout;
        logic.retriesText = c.retries;
        host.said.clear();
        EXPECT_EQ(logic.Ok(), c.said == nullptr) << c.timeout << " " << c.retries;
        EXPECT_EQ(logic.refused(), c.field) << c.timeout << " " << c.retries;
        if (c.said) {
            EXPECT_EQ(host.said, Lines{c.said});
            EXPECT_TRUE(engine.Take().empty()) << "nothing sent";
        } else {
            EXPECT_EQ(engine.Take(), Lines{"SetTimeouts 2147483647 -3"});
        }
    }
}

TEST_F(Logic, TheSerialPortDialogOffersThePortInUseAndSendsTheLineBeforeOpening)
{
    SerialState serial;
    serial.line = {"/dev/ttyS1", 57600, 2, 2};
    SerialPortLogic logic(engine, serial, {"/dev/ttyS0", "/dev/ttyUSB0"});
    EXPECT_EQ(logic.portNames(), (Lines{"/dev/ttyS0", "/dev/ttyUSB0", "/dev/ttyS1"}));
    EXPECT_EQ(logic.port, 2);
    EXPECT_EQ(logic.baudRateNames()[static_cast<size_t>(logic.baudRate)], "57600");
    EXPECT_EQ(logic.parity, 2);
    EXPECT_EQ(logic.stopBits, 2);
    EXPECT_TRUE(logic.openEnabled());
    EXPECT_FALSE(logic.closeEnabled());

    logic.port = 1;
    logic.Open();
    EXPECT_EQ(engine.Take(), (Lines{"SetSerialLine /dev/ttyUSB0 57600 2 2", "OpenPort"}));
    serial.portOpen = true;
    logic.Update(serial);
    EXPECT_FALSE(logic.openEnabled());
    EXPECT_FALSE(logic.portEnabled());
    EXPECT_TRUE(logic.closeEnabled());
    logic.Close();
    EXPECT_EQ(engine.Take(), Lines{"ClosePort"});

    logic.port = -1;  // no selection: the port keeps its name
    logic.Ok();
    EXPECT_EQ(engine.Take(), Lines{"SetSerialLine (kept) 57600 2 2"});
}

TEST_F(Logic, OddLineSettingsShowAsTheirDefaultsAndTheStoredNameSelectsTheFirstEntryBeginningWithIt)
{
    SerialState serial;
    serial.line = {"COM1", 12345, 7, 5};
    SerialPortLogic logic(engine, serial, {"COM10:", "COM1:"});
    EXPECT_EQ(logic.port, 0);
    EXPECT_EQ(logic.baudRateNames()[static_cast<size_t>(logic.baudRate)], "9600");
    EXPECT_EQ(logic.parity, 0);
    EXPECT_EQ(logic.stopBits, 0);
    logic.Ok();
    EXPECT_EQ(engine.Take(), Lines{"SetSerialLine COM10: 9600 0 0"});
}

TEST_F(Logic, OnlyASetupWithAnAdapterCommandHasTheModeButton)
{
    AdapterOffer qmr{{}, SetupDialog::Serial, "QMR Driver Setup", kQmrMode};
    SerialSetupLogic withMode(engine, qmr);
    EXPECT_TRUE(withMode.hasModeButton());
    withMode.PressMode();
    EXPECT_EQ(engine.Take(), Lines{"RunAdapterCommand 32790"});
    SerialSetupLogic without(engine, AdapterOffer{{}, SetupDialog::Serial, "TR7100 Driver Setup", 0});
    EXPECT_FALSE(without.hasModeButton());
    without.PressMode();
    EXPECT_TRUE(engine.Take().empty());
}

CanState Can(uint16_t irq, uint32_t address, uint16_t btr = can::kBtr500k, const std::string& channel = "slcan:/dev/x")
{
    CanState c;
    c.hardware = {irq, address, btr, channel};
    return c;
}

TEST_F(Logic, TheCanPortNameFollowsTheInterruptAndTheAddressAndItsPresetsSetThem)
{
    const struct Case {
        uint16_t irq;
        uint32_t address;
        int port;
    } cases[] = {{7, 0x378, CanHardwareLogic::kLpt1},
                 {5, 0x278, CanHardwareLogic::kLpt2},
                 {5, 0x3BC, CanHardwareLogic::kLpt3},
                 {7, 0x278, CanHardwareLogic::kCustom},
                 {6, 0x378, CanHardwareLogic::kCustom}};
    for (const Case& c : cases) {
        CanHardwareLogic logic(engine, host, Can(c.irq, c.address), {});
        EXPECT_EQ(logic.portName, c.port) << c.irq << " " << c.address;
    }
    CanHardwareLogic logic(engine, host, Can(7, 0x378), {"socketcan:can0"});
    EXPECT_EQ(logic.channels(), (Lines{"slcan:/dev/x", "socketcan:can0"})) << "the channel in use first";
    EXPECT_FALSE(logic.customEnabled());
    logic.SelectPortName(CanHardwareLogic::kLpt2);
    EXPECT_EQ(CanHardwareLogic::kInterruptNames[static_cast<size_t>(logic.interrupt)], "5");
    EXPECT_EQ(logic.addressText, "0278");
    logic.SelectPortName(CanHardwareLogic::kCustom);
    EXPECT_TRUE(logic.customEnabled());
    EXPECT_EQ(logic.addressText, "0278") << "custom keeps what is there";
}

TEST_F(Logic, BusOnSendsTheChosenHardwareOrRefusesAnAddressThatIsNoHexNumber)
{
    for (const char* bad : {"12345", "0x378", "", "xyz", "-1", "+2E8"}) {
        CanHardwareLogic logic(engine, host, Can(7, 0x378), {});
        logic.addressText = bad;
        host.said.clear();
        EXPECT_FALSE(logic.BusOn()) << bad;
        EXPECT_EQ(host.said, Lines{"Please enter a port address of one to four hexadecimal digits (0000 to FFFF)."});
        EXPECT_EQ(logic.addressText, "0378") << "the address in use shown again";
        EXPECT_TRUE(engine.Take().empty()) << bad;
    }
    CanHardwareLogic logic(engine, host, Can(7, 0x378), {});
    logic.addressText = " 2e8 ";
    logic.interrupt = 2;  // 5
    logic.rate = 3;       // 125 kbit/s
    logic.channelText = "  socketcan:can1 ";
    EXPECT_TRUE(logic.BusOn());
    EXPECT_EQ(engine.Take(), Lines{"CanBusOn irq 5 address 02E8 btr 031C socketcan:can1"});
    logic.interrupt = -1;
    logic.rate = -1;
    logic.BusOn();
    EXPECT_EQ(engine.Take(), Lines{"CanBusOn irq 3 address 02E8 btr 672F socketcan:can1"}) << "no choice: the first";
    CanState open = Can(7, 0x378);
    open.open = true;
    logic.Update(open);
    EXPECT_FALSE(logic.listsEnabled());
    EXPECT_FALSE(logic.customEnabled());
    EXPECT_TRUE(logic.busOffEnabled());
    logic.BusOff();
    EXPECT_EQ(engine.Take(), Lines{"CanBusOff"});
}

TEST_F(Logic, ANodeIdProposesItsCobIdsAndTheEchoesShowWhatTheFieldsHold)
{
    CanState can = Can(7, 0x378);
    CanNodeIdLogic logic(engine, host, can);
    EXPECT_EQ(logic.nodeIdEcho(), "0x1");
    EXPECT_EQ(logic.transmitEcho(), "0x601");
    logic.NodeIdEdited("5");
    EXPECT_EQ(logic.transmitText, "1541");
    EXPECT_EQ(logic.receiveText, "1413");
    logic.NodeIdEdited("300");  // refused: the previous node-ID goes on
    EXPECT_EQ(logic.transmitText, "1541");
    EXPECT_EQ(logic.nodeIdEcho(), "") << "no echo of what is no node-ID";
    logic.transmitText = "-1";
    logic.CobIdEdited();
    EXPECT_EQ(logic.transmitEcho(), "0xffffffff");
    logic.transmitText = "4294967296";
    EXPECT_EQ(logic.transmitEcho(), "");
}

TEST_F(Logic, TheNodeIdDialogSendsOnlyWhenEveryFieldIsAccepted)
{
    const struct Case {
        const char *node, *transmit, *receive;
        const char* said;
        CanNodeIdLogic::Field field;
    } cases[] = {
        {"300", "1537", "1409", "Please enter an integer between 0 and 255.", CanNodeIdLogic::kNodeId},
        {"128", "1537", "1409", "Please enter an integer between 0 and 127.", CanNodeIdLogic::kNodeId},
        {"5", "x", "1409", "Please enter an integer.", CanNodeIdLogic::kTransmit},
        {"5", "1537", "", "Please enter an integer.", CanNodeIdLogic::kReceive},
        {"127", "-5", "99", nullptr, CanNodeIdLogic::kNone},
    };
    for (const Case& c : cases) {
        CanNodeIdLogic logic(engine, host, Can(7, 0x378));
        logic.nodeIdText = c.node;
        logic.transmitText = c.transmit;
        logic.receiveText = c.receive;
        host.said.clear();
        EXPECT_EQ(logic.Ok(), c.said == nullptr) << c.node;
        EXPECT_EQ(logic.refused(), c.field) << c.node;
        if (c.said) {
            EXPECT_EQ(host.said, Lines{c.said}) << c.node;
            EXPECT_TRUE(engine.Take().empty());
        } else {
            EXPECT_EQ(engine.Take(), Lines{"SetCanIdentifiers 127 -5 99"});
        }
    }
}

TEST_F(Logic, TheNmtWarningIsConfirmedOnceARun)
{
    CanState can = Can(7, 0x378);
    CanNmtLogic logic(engine, host, can);
    host.confirm = false;
    logic.Press(NmtCommand::Start);
    EXPECT_TRUE(engine.Take().empty()) << "cancelled: nothing sent";
    host.confirm = true;
    logic.Press(NmtCommand::ResetNode);
    logic.Press(NmtCommand::Stop);
    EXPECT_EQ(host.warnings, (Lines{kNmtWarning, kNmtWarning}));
    EXPECT_EQ(engine.Take(), (Lines{"Nmt 3", "Nmt 1"}));

    can.nmtWarningPending = false;  // confirmed in an earlier dialog of this run
    CanNmtLogic later(engine, host, can);
    host.warnings.clear();
    later.Press(NmtCommand::EnterPreOperational);
    EXPECT_TRUE(host.warnings.empty());
    EXPECT_EQ(engine.Take(), Lines{"Nmt 2"});
}

TEST_F(Logic, LssWarningsGuardTheBitRateAndTheInquiry)
{
    CanLssLogic logic(host);
    EXPECT_TRUE(logic.OpenSetNodeId());
    EXPECT_TRUE(host.warnings.empty()) << "the node-ID dialog warns itself";
    host.confirm = false;
    EXPECT_FALSE(logic.OpenSetBitRate());
    EXPECT_FALSE(logic.OpenInquire());
    EXPECT_EQ(host.warnings, (Lines{kBitRateWarning, kInquireWarning}));
}

TEST_F(Logic, SetNodeIdWarnsByWhetherASerialNumberIsGivenAndRefusesOneThatIsNone)
{
    const struct Case {
        const char *node, *serial;
        bool confirm;
        Outcome outcome;
        const char* warning;  // nullptr: none
        const char* sent;     // nullptr: nothing
    } cases[] = {
        {"5", "", true, Outcome::Accept, kSetNodeIdGlobalWarning, "SetNodeId 5"},
        {"5", "  ", true, Outcome::Accept, kSetNodeIdGlobalWarning, "SetNodeId 5"},
        {"5", "0x10", true, Outcome::Accept, kSetNodeIdSerialWarning, "SetNodeId 5 serial 16"},
        {"7", "4294967295", true, Outcome::Accept, kSetNodeIdSerialWarning, "SetNodeId 7 serial 4294967295"},
        {"5", "12", false, Outcome::Reject, kSetNodeIdSerialWarning, nullptr},
        {"5", "-1", true, Outcome::Stay, nullptr, nullptr},
        {"5", "4294967296", true, Outcome::Stay, nullptr, nullptr},
        {"5", "0x", true, Outcome::Stay, nullptr, nullptr},
        {"200", "", true, Outcome::Stay, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        CanSetNodeIdLogic logic(engine, host, Can(7, 0x378));
        EXPECT_EQ(logic.nodeIdText, "1");
        logic.nodeIdText = c.node;
        logic.serialText = c.serial;
        host.confirm = c.confirm;
        host.warnings.clear();
        EXPECT_EQ(logic.Ok(), c.outcome) << c.node << " " << c.serial;
        EXPECT_EQ(host.warnings, c.warning ? Lines{c.warning} : Lines{}) << c.serial;
        EXPECT_EQ(engine.Take(), c.sent ? Lines{c.sent} : Lines{}) << c.serial;
    }
    EXPECT_EQ(host.said.back(), "Please enter an integer between 0 and 127.");
}

TEST_F(Logic, TheBitRateDialogStartsAtTheRateInUseAndNeedsARate)
{
    CanSetBitRateLogic logic(engine, Can(7, 0x378, can::kBtr125k));
    EXPECT_EQ(CanSetBitRateLogic::kRateNames[static_cast<size_t>(logic.rate)], "125");
    logic.rate = 6;
    EXPECT_TRUE(logic.Ok());
    EXPECT_EQ(engine.Take(), Lines{"ChangeBitRate 1000"});
    CanSetBitRateLogic odd(engine, Can(7, 0x378, 0x1234));
    EXPECT_EQ(odd.rate, -1);
    EXPECT_FALSE(odd.Ok());
    EXPECT_TRUE(engine.Take().empty());
}

TEST_F(Logic, TheInquiryIsAskedForAsTheDialogOpensAndFillsItsFields)
{
    CanInquireLogic logic(engine);
    EXPECT_EQ(engine.Take(), Lines{"InquireIdentity"});
    EXPECT_FALSE(logic.inquired());
    logic.Inquired({0x12, 4096, 3, 4294967295u});
    EXPECT_TRUE(logic.inquired());
    EXPECT_EQ(logic.vendorText, "18");
    EXPECT_EQ(logic.productText, "4096");
    EXPECT_EQ(logic.revisionText, "3");
    EXPECT_EQ(logic.serialText, "4294967295");
}

TEST_F(Logic, TheMessageTestSendsNothingWhileAnyFieldIsRefusedAndListsWhatIsRead)
{
    {
        CanMessageTestLogic logic(engine, host);
        EXPECT_EQ(engine.Take(), Lines{"HearEverything on"});
        logic.idText = "2048";
        EXPECT_FALSE(logic.Write());
        EXPECT_EQ(host.said.back(), "Please enter an integer between 0 and 2047.");
        EXPECT_EQ(logic.refused(), CanMessageTestLogic::kId);
        logic.idText = "0x10";
        EXPECT_FALSE(logic.Write());
        logic.idText = "291";
        logic.lengthText = "256";
        EXPECT_FALSE(logic.Write());
        EXPECT_EQ(logic.refused(), CanMessageTestLogic::kLength);
        logic.lengthText = "9";  // as entered: the library refuses it
        logic.dataText[3] = "256";
        EXPECT_FALSE(logic.Write());
        EXPECT_EQ(host.said.back(), "Please enter an integer between 0 and 255.");
        EXPECT_EQ(logic.refused(), CanMessageTestLogic::kData0 + 3);
        EXPECT_TRUE(engine.Take().empty()) << "nothing of a refused frame goes out";
        logic.dataText = {"1", "2", "3", "255", "5", "6", "7", "8"};
        EXPECT_TRUE(logic.Write());
        EXPECT_EQ(engine.Take(), Lines{"WriteTestFrame 123 [9] 01 02 03 FF 05 06 07 08"});

        logic.Read();
        EXPECT_EQ(engine.Take(), Lines{"ReadTestFrame"});
        CanMessage frame;
        frame.id = 0x581;
        frame.length = 2;
        frame.data[0] = 0x4B;
        frame.data[7] = 0xA0;
        logic.FrameRead(can::kOk, frame);
        logic.FrameRead(can::kQueueEmpty, frame);
        logic.FrameRead(can::kOverrun, frame);
        EXPECT_EQ(logic.lines(), (Lines{"Message Received OK", "ID = 000581", "Data = 4B 00 00 00 00 00 00 A0 ",
                                        "Receive Queue Empty", "Read Error"}));
    }
    EXPECT_EQ(engine.Take(), Lines{"HearEverything off"}) << "closed: the bus is heard for the driver only";
}

TEST(FieldRules, NumbersAreReadAsTheDialogsTakeThem)
{
    uint32_t u = 0;
    EXPECT_FALSE(ReadSerialNumber(" 0xFFFFFFFF ", u));
    EXPECT_EQ(u, 0xFFFFFFFFu);
    EXPECT_FALSE(ReadSerialNumber("0Xff", u));
    EXPECT_EQ(u, 255u);
    for (const char* bad : {"0x100000000", "+5", "-5", "5 5", "0x-1", "abc"}) EXPECT_TRUE(ReadSerialNumber(bad, u)) << bad;
    EXPECT_TRUE(ParsePortAddress("ffff", u));
    EXPECT_EQ(u, 0xFFFFu);
    EXPECT_FALSE(ParsePortAddress("10000", u));
    int64_t v = 0;
    EXPECT_TRUE(ParseWholeNumber(" -2147483648", v));
    EXPECT_EQ(v, -2147483648LL);
    EXPECT_TRUE(ParseWholeNumber("+4294967295", v));
    EXPECT_FALSE(ParseWholeNumber("4294967296", v));
    EXPECT_FALSE(ParseWholeNumber("-2147483649", v));
    EXPECT_FALSE(ParseWholeNumber("1.5", v));
    EXPECT_EQ(PortAddressText(0x2E8), "02E8");
}

}  // namespace
}  // namespace nalvexa::test
