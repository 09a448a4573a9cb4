// SPDX-License-Identifier: MIT
#include "timeout_settings_dialog.h"

#include "ui_timeoutsettingsdialog.h"

namespace nalvexa {

TimeoutSettingsDialog::TimeoutSettingsDialog(IEngine& engine, IDialogHost& host, const SerialState& serial,
                                             QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TimeoutSettingsDialog>()), logic_(engine, host, serial)
{
    ui_->setupUi(this);
    ui_->retryTimeoutEdit->setText(QString::fromStdString(logic_.retryTimeoutText));
    ui_->retriesEdit->setText(QString::fromStdString(logic_.retriesText));
    connect(ui_->okButton, &QPushButton::clicked, this, &TimeoutSettingsDialog::OnOk);
    connect(ui_->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

TimeoutSettingsDialog::~TimeoutSettingsDialog() = default;

void TimeoutSettingsDialog::OnOk()
{
    logic_.retryTimeoutText = ui_->retryTimeoutEdit->text().toStdString();
    logic_.retriesText = ui_->retriesEdit->text().toStdString();
    if (logic_.Ok()) return accept();
    QLineEdit* field = logic_.refused() == TimeoutSettingsLogic::kRetryTimeout ? ui_->retryTimeoutEdit : ui_->retriesEdit;
    field->setFocus();
    field->selectAll();
}

}  // namespace nalvexa
