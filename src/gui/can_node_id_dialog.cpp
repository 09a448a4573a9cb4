// SPDX-License-Identifier: MIT
#include "can_node_id_dialog.h"

#include "field_check.h"
#include "settings/decimal.h"
#include "ui_cannodeiddialog.h"

namespace nalvexa {

CCANNodeIdDlg::CCANNodeIdDlg(CCANDriver& can, IUserNotifier& notifier, QWidget* parent)
    : QDialog(parent), can_(can), notifier_(notifier), ui_(std::make_unique<Ui::CanNodeIdDialog>()),
      receiveCobId_(can.SdoReceiveCobId), transmitCobId_(can.SdoTransmitCobId), nodeId_(can.NodeIdentifier)
{
    ui_->setupUi(this);
    ui_->nodeIdEcho->setEnabled(false);
    ui_->transmitEcho->setEnabled(false);
    ui_->receiveEcho->setEnabled(false);
    ShowFields();
    Echo();
    ui_->nodeIdEdit->setFocus();
    // Only the operator's typing proposes new COB-IDs, not the dialog's own filling.
    connect(ui_->nodeIdEdit, &QLineEdit::textEdited, this, &CCANNodeIdDlg::OnNodeIdEdited);
    for (QLineEdit* edit : {ui_->transmitEdit, ui_->receiveEdit})
        connect(edit, &QLineEdit::textEdited, this, [this] {
            ParseSigned(ui_->transmitEdit->text().toStdString(), transmitCobId_);
            ParseSigned(ui_->receiveEdit->text().toStdString(), receiveCobId_);
            Echo();
        });
    connect(ui_->okButton, &QPushButton::clicked, this, &CCANNodeIdDlg::OnOk);
    connect(ui_->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

CCANNodeIdDlg::~CCANNodeIdDlg() = default;

void CCANNodeIdDlg::ShowFields()
{
    ui_->nodeIdEdit->setText(QString::number(nodeId_));
    ui_->transmitEdit->setText(QString::number(transmitCobId_));
    ui_->receiveEdit->setText(QString::number(receiveCobId_));
}

void CCANNodeIdDlg::Echo()
{
    // What the field holds, in hexadecimal; nothing for what is no number.
    auto echo = [](QLineEdit* field, QLineEdit* into, int64_t low, int64_t high) {
        int64_t v = 0;
        if (ParseWholeNumber(field->text(), v) && v >= low && v <= high)
            into->setText("0x" + QString::number(static_cast<uint32_t>(v), 16));
        else
            into->clear();
    };
    echo(ui_->nodeIdEdit, ui_->nodeIdEcho, 0, 255);
    echo(ui_->transmitEdit, ui_->transmitEcho, INT32_MIN, INT32_MAX);
    echo(ui_->receiveEdit, ui_->receiveEcho, INT32_MIN, INT32_MAX);
}

void CCANNodeIdDlg::OnNodeIdEdited()
{
    int32_t node = 0;
    // A refused entry keeps the previous node-ID and goes on with it.
    if (ParseSigned(ui_->nodeIdEdit->text().toStdString(), node) && node >= 0 && node <= 255) nodeId_ = node;
    transmitCobId_ = 0x600 + nodeId_;
    receiveCobId_ = 0x580 + nodeId_;
    const int cursor = ui_->nodeIdEdit->cursorPosition();
    const QString typed = ui_->nodeIdEdit->text();
    ui_->transmitEdit->setText(QString::number(transmitCobId_));
    ui_->receiveEdit->setText(QString::number(receiveCobId_));
    ui_->nodeIdEdit->setText(typed);
    ui_->nodeIdEdit->setCursorPosition(cursor);
    Echo();
}

void CCANNodeIdDlg::OnOk()
{
    int32_t node = 0, transmit = 0, receive = 0;
    if (!ReadNodeIdField(ui_->nodeIdEdit, node, notifier_)) return;
    if (!ReadSignedField(ui_->transmitEdit, transmit, notifier_)) return;
    if (!ReadSignedField(ui_->receiveEdit, receive, notifier_)) return;
    can_.NodeIdentifier = static_cast<uint8_t>(node);
    can_.SdoTransmitCobId = transmit;
    can_.SdoReceiveCobId = receive;
    accept();
}

}  // namespace nalvexa
