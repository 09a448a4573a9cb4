// SPDX-License-Identifier: MIT
#include "serial_port_dialog.h"

#include <QSerialPortInfo>

#include "serial/serial_settings.h"
#include "ui_serialportdialog.h"

namespace nalvexa {

namespace {

const QStringList kParityNames = {"None", "Odd", "Even", "Mark", "Space"};
const QStringList kStopBitNames = {"1", "1.5", "2"};

}  // namespace

QStringList SerialPortDialog::SystemPortNames()
{
#ifdef Q_OS_WIN
    QStringList names;
    for (int i = 1; i <= 254; ++i) names << QString("COM%1:").arg(i);
    return names;
#else
    QStringList names;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) names << info.systemLocation();
    return names;
#endif
}

SerialPortDialog::SerialPortDialog(ISerialAdapter& adapter, QStringList portNames, QWidget* parent)
    : QDialog(parent), adapter_(adapter), ui_(std::make_unique<Ui::SerialPortDialog>())
{
    ui_->setupUi(this);
    const QString current = QString::fromStdString(adapter.GetPortName());
    if (!current.isEmpty() && !portNames.contains(current)) portNames << current;
    ui_->portList->addItems(portNames);
    for (int rate : kBaudRates) ui_->baudList->addItem(QString::number(rate));
    ui_->parityList->addItems(kParityNames);
    ui_->stopBitsList->addItems(kStopBitNames);

    // The stored name selects the first entry that begins with it.
    int selected = -1;
    for (int i = 0; i < portNames.size() && selected < 0 && !current.isEmpty(); ++i)
        if (portNames[i].startsWith(current)) selected = i;
    ui_->portList->setCurrentIndex(selected);
    ui_->baudList->setCurrentIndex(PositionOfBaudRate(adapter.GetBaudRate()));
    ui_->parityList->setCurrentIndex(adapter.GetParity() <= 4 ? adapter.GetParity() : 0);
    ui_->stopBitsList->setCurrentIndex(adapter.GetStopBits() <= 2 ? adapter.GetStopBits() : 0);
    SetStates();

    connect(ui_->openButton, &QPushButton::clicked, this, &SerialPortDialog::OnOpen);
    connect(ui_->closeButton, &QPushButton::clicked, this, &SerialPortDialog::OnClose);
    connect(ui_->okButton, &QPushButton::clicked, this, &SerialPortDialog::OnOk);
    connect(ui_->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

SerialPortDialog::~SerialPortDialog() = default;

void SerialPortDialog::SetStates()
{
    const bool open = adapter_.IsPortOpen();
    ui_->openButton->setEnabled(!open);
    ui_->portList->setEnabled(!open);
    ui_->closeButton->setEnabled(open);
    // Shown, not chosen here.
    ui_->baudList->setEnabled(false);
    ui_->parityList->setEnabled(false);
    ui_->stopBitsList->setEnabled(false);
}

void SerialPortDialog::Apply()
{
    const int parity = static_cast<int>(kParityNames.indexOf(ui_->parityList->currentText()));
    const int stopBits = static_cast<int>(kStopBitNames.indexOf(ui_->stopBitsList->currentText()));
    const int rate = BaudRateAtPosition(ui_->baudList->currentIndex());
    // Without a selection the port keeps its name rather than losing it.
    if (ui_->portList->currentIndex() >= 0) adapter_.SetPortName(ui_->portList->currentText().toStdString());
    adapter_.SetBaudRate(rate);
    adapter_.SetParity(static_cast<uint8_t>(parity < 0 ? 0 : parity));
    adapter_.SetStopBits(static_cast<uint8_t>(stopBits < 0 ? 0 : stopBits));
}

void SerialPortDialog::OnOpen()
{
    Apply();
    adapter_.OpenPort();
    SetStates();
}

void SerialPortDialog::OnClose()
{
    adapter_.ClosePort();
    SetStates();
}

void SerialPortDialog::OnOk()
{
    Apply();
    accept();
}

}  // namespace nalvexa
