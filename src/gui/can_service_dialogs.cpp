// SPDX-License-Identifier: MIT
#include "can_service_dialogs.h"

#include "field_check.h"
#include "ui_caninquirelssdialog.h"
#include "ui_canlssdialog.h"
#include "ui_cannmtdialog.h"
#include "ui_cansetbaudratedialog.h"
#include "ui_cansetnodeiddialog.h"

namespace nalvexa {

const char* const kNmtWarning =
    "Warning:\n\nChanging the node state in a running CAN network\nmay cause damage to the drive or machine!";
const char* const kBitRateWarning =
    "Warning:\n\nCAN baudrate change selected!\n\nThis operation will affect all nodes in the network\n\nMake sure "
    "that all devices in the CAN network are\ndisabled and in stopped state.\n\nChanging the baud rate in a running "
    "CAN network may\n cause damage to the drive or machine!";
const char* const kInquireWarning =
    "Warning:\n\nInquire LSS address selected!\n\nMake sure that only one drive is in the CAN network\nand that it is "
    "disabled and in stopped state.\n\nInquiring the LSS address in a running CAN network\nmay cause damage to the "
    "drive or machine!";
const char* const kSetNodeIdSerialWarning =
    "Warning:\n\n Make sure that the drive is disabled\nand in pre-operational state!\n\nChanging the Node Identifier "
    "in a running CAN\n network may cause damage to the drive or machine!";
const char* const kSetNodeIdGlobalWarning =
    "Warning:\n\nGlobal Node Identifier Assignment selected\n(no serial number entered)!\n\nMake sure that only one "
    "drive is in the CAN network\nand that it is disabled and in pre-operational state.\n\nChanging the Node "
    "Identifier in a running CAN network may cause damage to the drive or machine!";

namespace {

const int kRates[] = {10, 20, 50, 125, 250, 500, 1000};

int RateIndex(uint16_t btr)
{
    for (int i = 0; i < 7; ++i)
        if (can::KbitPerSecond(btr) == kRates[i]) return i;
    return -1;
}

}  // namespace

CCANNmtDlg::CCANNmtDlg(CCANDriver& can, IUserNotifier& notifier, QWidget* parent)
    : QDialog(parent), can_(can), notifier_(notifier), ui_(std::make_unique<Ui::CanNmtDialog>())
{
    ui_->setupUi(this);
    connect(ui_->startButton, &QPushButton::clicked, this, [this] { Run(&CCANDriver::StartRemoteNode); });
    connect(ui_->stopButton, &QPushButton::clicked, this, [this] { Run(&CCANDriver::StopRemoteNode); });
    connect(ui_->preOperationalButton, &QPushButton::clicked, this,
            [this] { Run(&CCANDriver::EnterPreOperationalState); });
    connect(ui_->resetNodeButton, &QPushButton::clicked, this, [this] { Run(&CCANDriver::ResetNode); });
    connect(ui_->resetCommunicationButton, &QPushButton::clicked, this,
            [this] { Run(&CCANDriver::ResetCommunications); });
    connect(ui_->closeButton, &QPushButton::clicked, this, &QDialog::accept);
}

CCANNmtDlg::~CCANNmtDlg() = default;

void CCANNmtDlg::Run(void (CCANDriver::*command)())
{
    if (can_.nmtWarningPending == 1) {
        if (notifier_.askOkCancel(kNmtWarning) != Answer::Ok) return;
        can_.nmtWarningPending = 0;
    }
    (can_.*command)();
}

CCANLssDlg::CCANLssDlg(CCANDriver& can, IUserNotifier& notifier, DialogRunner run, QWidget* parent)
    : QDialog(parent), can_(can), notifier_(notifier), run_(std::move(run)), ui_(std::make_unique<Ui::CanLssDialog>())
{
    ui_->setupUi(this);
    connect(ui_->setNodeIdButton, &QPushButton::clicked, this, [this] {
        CCANSetNodeIdDlg dialog(can_, notifier_, this);
        run_(dialog);
    });
    connect(ui_->setBaudrateButton, &QPushButton::clicked, this, [this] {
        if (notifier_.askOkCancel(kBitRateWarning) != Answer::Ok) return;
        CCANSetBaudrateDlg dialog(can_, this);
        run_(dialog);
    });
    connect(ui_->inquireButton, &QPushButton::clicked, this, [this] {
        if (notifier_.askOkCancel(kInquireWarning) != Answer::Ok) return;
        CCANInquireLssDlg dialog(can_, this);
        run_(dialog);
    });
    connect(ui_->closeButton, &QPushButton::clicked, this, &QDialog::accept);
}

CCANLssDlg::~CCANLssDlg() = default;

CCANSetNodeIdDlg::CCANSetNodeIdDlg(CCANDriver& can, IUserNotifier& notifier, QWidget* parent)
    : QDialog(parent), can_(can), notifier_(notifier), ui_(std::make_unique<Ui::CanSetNodeIdDialog>())
{
    ui_->setupUi(this);
    ui_->nodeIdEdit->setText(QString::number(can.NodeIdentifier));
    ui_->nodeIdEdit->setFocus();
    connect(ui_->okButton, &QPushButton::clicked, this, &CCANSetNodeIdDlg::OnOk);
    connect(ui_->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

CCANSetNodeIdDlg::~CCANSetNodeIdDlg() = default;

void CCANSetNodeIdDlg::OnOk()
{
    int32_t node = 0;
    if (!ReadNodeIdField(ui_->nodeIdEdit, node, notifier_)) return;
    // A serial number that is none would address no drive (or another one)
    // and cost the whole answer wait: it is refused before anything is sent.
    uint32_t serial = 0;
    const bool withSerial = !ui_->serialEdit->text().trimmed().isEmpty();
    if (withSerial && !ReadSerialNumberField(ui_->serialEdit, serial, notifier_)) return;
    if (notifier_.askOkCancel(withSerial ? kSetNodeIdSerialWarning : kSetNodeIdGlobalWarning) != Answer::Ok) {
        reject();
        return;
    }
    can_.SetNodeId(static_cast<uint8_t>(node), withSerial ? &serial : nullptr);
    accept();
}

CCANSetBaudrateDlg::CCANSetBaudrateDlg(CCANDriver& can, QWidget* parent)
    : QDialog(parent), can_(can), ui_(std::make_unique<Ui::CanSetBaudrateDialog>())
{
    ui_->setupUi(this);
    for (int rate : kRates) ui_->rateList->addItem(QString::number(rate));
    ui_->rateList->setCurrentIndex(RateIndex(can.CANBaudRate));
    connect(ui_->okButton, &QPushButton::clicked, this, &CCANSetBaudrateDlg::OnOk);
    connect(ui_->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

CCANSetBaudrateDlg::~CCANSetBaudrateDlg() = default;

void CCANSetBaudrateDlg::OnOk()
{
    const int index = ui_->rateList->currentIndex();
    // Without a rate the drives and the program could end up at different rates.
    if (index < 0) return;
    can_.ChangeBitRate(kRates[index]);
    accept();
}

CCANInquireLssDlg::CCANInquireLssDlg(CCANDriver& can, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::CanInquireLssDialog>())
{
    ui_->setupUi(this);
    // The fields show the identity once the inquiry has ended; the dialog may be gone by then.
    can.InquireIdentity(false, [this, alive = alive_](const CCANDriver::LssIdentity& id, int) {
        if (!*alive) return;
        ui_->vendorEdit->setText(QString::number(id.vendorId));
        ui_->productEdit->setText(QString::number(id.productCode));
        ui_->revisionEdit->setText(QString::number(id.revisionNumber));
        ui_->serialEdit->setText(QString::number(id.serialNumber));
        inquired_ = true;
    });
    connect(ui_->okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui_->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

CCANInquireLssDlg::~CCANInquireLssDlg() { *alive_ = false; }

}  // namespace nalvexa
