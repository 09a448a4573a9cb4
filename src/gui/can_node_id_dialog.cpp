// SPDX-License-Identifier: MIT
#include "can_node_id_dialog.h"

#include "ui_cannodeiddialog.h"

namespace nalvexa {

CCANNodeIdDlg::CCANNodeIdDlg(IEngine& engine, IDialogHost& host, const CanState& can, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::CanNodeIdDialog>()), logic_(engine, host, can)
{
    ui_->setupUi(this);
    ui_->nodeIdEcho->setEnabled(false);
    ui_->transmitEcho->setEnabled(false);
    ui_->receiveEcho->setEnabled(false);
    ui_->nodeIdEdit->setText(QString::fromStdString(logic_.nodeIdText));
    ui_->transmitEdit->setText(QString::fromStdString(logic_.transmitText));
    ui_->receiveEdit->setText(QString::fromStdString(logic_.receiveText));
    Echo();
    ui_->nodeIdEdit->setFocus();
    // Only the operator's typing proposes new COB-IDs, not the dialog's own filling.
    connect(ui_->nodeIdEdit, &QLineEdit::textEdited, this, &CCANNodeIdDlg::OnNodeIdEdited);
    for (QLineEdit* edit : {ui_->transmitEdit, ui_->receiveEdit})
        connect(edit, &QLineEdit::textEdited, this, [this] {
            logic_.transmitText = ui_->transmitEdit->text().toStdString();
            logic_.receiveText = ui_->receiveEdit->text().toStdString();
            logic_.CobIdEdited();
            Echo();
        });
    connect(ui_->okButton, &QPushButton::clicked, this, &CCANNodeIdDlg::OnOk);
    connect(ui_->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

CCANNodeIdDlg::~CCANNodeIdDlg() = default;

void CCANNodeIdDlg::Echo()
{
    ui_->nodeIdEcho->setText(QString::fromStdString(logic_.nodeIdEcho()));
    ui_->transmitEcho->setText(QString::fromStdString(logic_.transmitEcho()));
    ui_->receiveEcho->setText(QString::fromStdString(logic_.receiveEcho()));
}

void CCANNodeIdDlg::OnNodeIdEdited()
{
    logic_.NodeIdEdited(ui_->nodeIdEdit->text().toStdString());
    ui_->transmitEdit->setText(QString::fromStdString(logic_.transmitText));
    ui_->receiveEdit->setText(QString::fromStdString(logic_.receiveText));
    Echo();
}

void CCANNodeIdDlg::OnOk()
{
    logic_.nodeIdText = ui_->nodeIdEdit->text().toStdString();
    logic_.transmitText = ui_->transmitEdit->text().toStdString();
    logic_.receiveText = ui_->receiveEdit->text().toStdString();
    if (logic_.Ok()) return accept();
    QLineEdit* field = logic_.refused() == CanNodeIdLogic::kNodeId     ? ui_->nodeIdEdit
                       : logic_.refused() == CanNodeIdLogic::kTransmit ? ui_->transmitEdit
                                                                       : ui_->receiveEdit;
    field->setFocus();
    field->selectAll();
}

}  // namespace nalvexa
