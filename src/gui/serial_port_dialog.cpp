// SPDX-License-Identifier: MIT
#include "serial_port_dialog.h"

#include <QSerialPortInfo>

#include "qt_lists.h"
#include "ui_serialportdialog.h"

namespace nalvexa {

QStringList SerialPortDialog::SystemPortNames()
{
    QStringList names;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) names << info.systemLocation();
    return names;
}

SerialPortDialog::SerialPortDialog(IEngine& engine, EngineEvents& events, const SerialState& serial,
                                   QStringList portNames, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::SerialPortDialog>()), logic_(engine, serial, Strings(portNames))
{
    ui_->setupUi(this);
    ui_->portList->addItems(QStrings(logic_.portNames()));
    ui_->baudList->addItems(QStrings(logic_.baudRateNames()));
    ui_->parityList->addItems(QStrings(SerialPortLogic::kParityNames));
    ui_->stopBitsList->addItems(QStrings(SerialPortLogic::kStopBitNames));
    ui_->portList->setCurrentIndex(logic_.port);
    ui_->baudList->setCurrentIndex(logic_.baudRate);
    ui_->parityList->setCurrentIndex(logic_.parity);
    ui_->stopBitsList->setCurrentIndex(logic_.stopBits);
    SetStates();

    connect(&events, &EngineEvents::changed, this, [this](const EngineState& state) {
        if (state.serial) logic_.Update(*state.serial);
        SetStates();
    });
    connect(ui_->openButton, &QPushButton::clicked, this, &SerialPortDialog::OnOpen);
    connect(ui_->closeButton, &QPushButton::clicked, this, &SerialPortDialog::OnClose);
    connect(ui_->okButton, &QPushButton::clicked, this, &SerialPortDialog::OnOk);
    connect(ui_->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

SerialPortDialog::~SerialPortDialog() = default;

void SerialPortDialog::Take()
{
    logic_.port = ui_->portList->currentIndex();
    logic_.baudRate = ui_->baudList->currentIndex();
    logic_.parity = ui_->parityList->currentIndex();
    logic_.stopBits = ui_->stopBitsList->currentIndex();
}

void SerialPortDialog::SetStates()
{
    ui_->openButton->setEnabled(logic_.openEnabled());
    ui_->portList->setEnabled(logic_.portEnabled());
    ui_->closeButton->setEnabled(logic_.closeEnabled());
    // Shown, not chosen here.
    ui_->baudList->setEnabled(false);
    ui_->parityList->setEnabled(false);
    ui_->stopBitsList->setEnabled(false);
}

void SerialPortDialog::OnOpen()
{
    Take();
    logic_.Open();
}

void SerialPortDialog::OnClose() { logic_.Close(); }

void SerialPortDialog::OnOk()
{
    Take();
    logic_.Ok();
    accept();
}

}  // namespace nalvexa
