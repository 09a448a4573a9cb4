// SPDX-License-Identifier: MIT
#include "timeout_settings_dialog.h"

#include "settings/decimal.h"
#include "ui_timeoutsettingsdialog.h"

namespace nalvexa {

TimeoutSettingsDialog::TimeoutSettingsDialog(int32_t retryTimeout, int32_t retries, IUserNotifier& notifier,
                                             QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TimeoutSettingsDialog>()), notifier_(notifier),
      retryTimeout_(retryTimeout), retries_(retries)
{
    ui_->setupUi(this);
    ui_->retryTimeoutEdit->setText(QString::number(static_cast<uint32_t>(retryTimeout)));
    ui_->retriesEdit->setText(QString::number(retries));
    connect(ui_->okButton, &QPushButton::clicked, this, &TimeoutSettingsDialog::OnOk);
    connect(ui_->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

TimeoutSettingsDialog::~TimeoutSettingsDialog() = default;

void TimeoutSettingsDialog::OnOk()
{
    uint32_t timeout = 0;
    int32_t retries = 0;
    if (!ParseUnsigned(ui_->retryTimeoutEdit->text().toStdString(), timeout) || timeout > INT32_MAX) {
        notifier_.message("Please enter a positive integer.");
        ui_->retryTimeoutEdit->setFocus();
        ui_->retryTimeoutEdit->selectAll();
        return;
    }
    if (!ParseSigned(ui_->retriesEdit->text().toStdString(), retries)) {
        notifier_.message("Please enter an integer.");
        ui_->retriesEdit->setFocus();
        ui_->retriesEdit->selectAll();
        return;
    }
    retryTimeout_ = static_cast<int32_t>(timeout);
    retries_ = retries;
    accept();
}

}  // namespace nalvexa
