// SPDX-License-Identifier: MIT
#include "can_hardware_dialog.h"

#include <QNetworkInterface>
#include <QSerialPortInfo>

#include "field_check.h"
#include "ui_canhardwaredialog.h"

namespace nalvexa {

namespace {

const int kInterrupts[] = {3, 4, 5, 7, 9, 10, 11, 12, 15};
const uint16_t kRates[] = {can::kBtr10k, can::kBtr20k, can::kBtr50k, can::kBtr125k,
                           can::kBtr250k, can::kBtr500k, can::kBtr1M};
const char* const kRateNames[] = {"10", "20", "50", "125", "250", "500", "1000"};
const char* const kAddresses[] = {"0100", "0120", "0140", "0200", "0220", "0278", "02E8", "02F8",
                                  "0300", "0320", "0340", "0378", "03BC", "03E8", "03F8"};
enum Port { kLpt1, kLpt2, kLpt3, kCustom };

}  // namespace

QStringList CCANHardwareDlg::AvailableChannels()
{
    QStringList channels;
    for (const QNetworkInterface& i : QNetworkInterface::allInterfaces())
        if (i.type() == QNetworkInterface::CanBus) channels << "socketcan:" + i.name();
    for (const QSerialPortInfo& p : QSerialPortInfo::availablePorts()) channels << "slcan:" + p.systemLocation();
    return channels;
}

CCANHardwareDlg::CCANHardwareDlg(CCANDriver& can, QStringList channels, IUserNotifier& notifier, QWidget* parent)
    : QDialog(parent), can_(can), notifier_(notifier), ui_(std::make_unique<Ui::CanHardwareDialog>())
{
    ui_->setupUi(this);
    loading_ = true;
    ui_->portNameList->addItems({"LPT1", "LPT2", "LPT3", "Custom"});
    for (int i : kInterrupts) ui_->interruptList->addItem(QString::number(i));
    for (const char* a : kAddresses) ui_->portAddressList->addItem(a);
    for (const char* r : kRateNames) ui_->rateList->addItem(r);
    const QString channel = QString::fromStdString(can.Channel);
    if (!channels.contains(channel)) channels.prepend(channel);
    ui_->channelList->addItems(channels);
    ui_->channelList->setCurrentText(channel);

    int interrupt = -1, rate = -1;
    for (int i = 0; i < 9; ++i)
        if (kInterrupts[i] == can.Interrupt) interrupt = i;
    for (int i = 0; i < 7; ++i)
        if (kRates[i] == can.CANBaudRate) rate = i;
    ui_->interruptList->setCurrentIndex(interrupt);
    ui_->rateList->setCurrentIndex(rate);
    ui_->portAddressList->setCurrentText(QString("%1").arg(can.PortAddress, 4, 16, QChar('0')).toUpper());
    // The port name follows from the interrupt and the address text, compared exactly.
    const QString address = ui_->portAddressList->currentText();
    const QString irq = ui_->interruptList->currentText();
    Port port = irq == "7" && address == "0378"   ? kLpt1
                : irq == "5" && address == "0278" ? kLpt2
                : irq == "5" && address == "03BC" ? kLpt3
                                                  : kCustom;
    ui_->portNameList->setCurrentIndex(port);
    loading_ = false;
    SetStates();

    connect(ui_->portNameList, &QComboBox::currentIndexChanged, this, [this] {
        if (!loading_) OnPortName();
    });
    connect(ui_->busOnButton, &QPushButton::clicked, this, &CCANHardwareDlg::OnBusOn);
    connect(ui_->busOffButton, &QPushButton::clicked, this, &CCANHardwareDlg::OnBusOff);
    connect(ui_->closeButton, &QPushButton::clicked, this, &QDialog::accept);
}

CCANHardwareDlg::~CCANHardwareDlg() = default;

void CCANHardwareDlg::OnPortName()
{
    struct Preset {
        const char* interrupt;
        const char* address;
    } presets[] = {{"7", "0378"}, {"5", "0278"}, {"5", "03BC"}};
    const int port = ui_->portNameList->currentIndex();
    if (port >= kLpt1 && port <= kLpt3) {
        ui_->interruptList->setCurrentText(presets[port].interrupt);
        ui_->portAddressList->setCurrentText(presets[port].address);
    }
    SetStates();
}

void CCANHardwareDlg::OnBusOn()
{
    uint32_t address = 0;
    if (!ReadPortAddressField(ui_->portAddressList->currentText(), address)) {
        // Said, and the address in use shown again: nothing is opened with a guess.
        notifier_.message("Please enter a port address of one to four hexadecimal digits (0000 to FFFF).");
        ui_->portAddressList->setCurrentText(QString("%1").arg(can_.PortAddress, 4, 16, QChar('0')).toUpper());
        ui_->portAddressList->setFocus();
        return;
    }
    const int interrupt = ui_->interruptList->currentIndex();
    const int rate = ui_->rateList->currentIndex();
    can_.Interrupt = static_cast<uint16_t>(interrupt >= 0 ? kInterrupts[interrupt] : 3);
    can_.CANBaudRate = rate >= 0 ? kRates[rate] : can::kBtr10k;
    can_.PortAddress = address;
    can_.Channel = ui_->channelList->currentText().trimmed().toStdString();
    can_.InitDriver();
    SetStates();
}

void CCANHardwareDlg::OnBusOff()
{
    can_.DeinitDriver();
    SetStates();
}

void CCANHardwareDlg::SetStates()
{
    const bool open = can_.driverOpen == 1;
    const bool custom = ui_->portNameList->currentIndex() == kCustom;
    ui_->portNameList->setEnabled(!open);
    ui_->rateList->setEnabled(!open);
    ui_->channelList->setEnabled(!open);
    ui_->busOnButton->setEnabled(!open);
    ui_->interruptList->setEnabled(!open && custom);
    ui_->portAddressList->setEnabled(!open && custom);
    ui_->busOffButton->setEnabled(open);
    ui_->closeButton->setFocus();
}

}  // namespace nalvexa
