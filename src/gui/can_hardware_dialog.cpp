// SPDX-License-Identifier: MIT
#include "can_hardware_dialog.h"

#include <QNetworkInterface>
#include <QSerialPortInfo>

#include "qt_lists.h"
#include "ui_canhardwaredialog.h"

namespace nalvexa {

QStringList CCANHardwareDlg::AvailableChannels()
{
    QStringList channels;
    for (const QNetworkInterface& i : QNetworkInterface::allInterfaces())
        if (i.type() == QNetworkInterface::CanBus) channels << "socketcan:" + i.name();
    for (const QSerialPortInfo& p : QSerialPortInfo::availablePorts()) channels << "slcan:" + p.systemLocation();
    return channels;
}

CCANHardwareDlg::CCANHardwareDlg(IEngine& engine, IDialogHost& host, EngineEvents& events, const CanState& can,
                                 QStringList channels, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::CanHardwareDialog>()), logic_(engine, host, can, Strings(channels))
{
    ui_->setupUi(this);
    ui_->portNameList->addItems(QStrings(CanHardwareLogic::kPortNames));
    ui_->interruptList->addItems(QStrings(CanHardwareLogic::kInterruptNames));
    ui_->portAddressList->addItems(QStrings(CanHardwareLogic::kAddressNames));
    ui_->rateList->addItems(QStrings(CanHardwareLogic::kRateNames));
    ui_->channelList->addItems(QStrings(logic_.channels()));
    ui_->rateList->setCurrentIndex(logic_.rate);
    ui_->channelList->setCurrentText(QString::fromStdString(logic_.channelText));
    Show();

    connect(&events, &EngineEvents::changed, this, [this](const EngineState& state) {
        if (state.can) logic_.Update(*state.can);
        SetStates();
    });
    connect(ui_->portNameList, &QComboBox::currentIndexChanged, this, [this] {
        if (!loading_) OnPortName();
    });
    connect(ui_->busOnButton, &QPushButton::clicked, this, &CCANHardwareDlg::OnBusOn);
    connect(ui_->busOffButton, &QPushButton::clicked, this, &CCANHardwareDlg::OnBusOff);
    connect(ui_->closeButton, &QPushButton::clicked, this, &QDialog::accept);
}

CCANHardwareDlg::~CCANHardwareDlg() = default;

void CCANHardwareDlg::Show()
{
    loading_ = true;
    ui_->portNameList->setCurrentIndex(logic_.portName);
    ui_->interruptList->setCurrentIndex(logic_.interrupt);
    ui_->portAddressList->setCurrentText(QString::fromStdString(logic_.addressText));
    loading_ = false;
    SetStates();
}

void CCANHardwareDlg::Take()
{
    logic_.interrupt = ui_->interruptList->currentIndex();
    logic_.rate = ui_->rateList->currentIndex();
    logic_.addressText = ui_->portAddressList->currentText().toStdString();
    logic_.channelText = ui_->channelList->currentText().toStdString();
}

void CCANHardwareDlg::OnPortName()
{
    Take();
    logic_.SelectPortName(ui_->portNameList->currentIndex());
    Show();
}

void CCANHardwareDlg::OnBusOn()
{
    Take();
    if (logic_.BusOn()) return;
    Show();
    ui_->portAddressList->setFocus();
}

void CCANHardwareDlg::OnBusOff() { logic_.BusOff(); }

void CCANHardwareDlg::SetStates()
{
    ui_->portNameList->setEnabled(logic_.listsEnabled());
    ui_->rateList->setEnabled(logic_.listsEnabled());
    ui_->channelList->setEnabled(logic_.listsEnabled());
    ui_->busOnButton->setEnabled(logic_.listsEnabled());
    ui_->interruptList->setEnabled(logic_.customEnabled());
    ui_->portAddressList->setEnabled(logic_.customEnabled());
    ui_->busOffButton->setEnabled(logic_.busOffEnabled());
    ui_->closeButton->setFocus();
}

}  // namespace nalvexa
