// SPDX-License-Identifier: MIT
#include "can_setup_dialog.h"

#include "server/adapter_offer.h"
#include "ui_cansetupdialog.h"

namespace nalvexa {

CCANDriverSetupDlg::CCANDriverSetupDlg(std::function<void(int)> open, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::CanSetupDialog>())
{
    ui_->setupUi(this);
    const std::pair<QPushButton*, int> buttons[] = {{ui_->hardwareButton, kCanHardware},
                                                    {ui_->nodeIdButton, kCanNodeId},
                                                    {ui_->nmtButton, kCanNmt},
                                                    {ui_->lssButton, kCanLss},
                                                    {ui_->messageTestButton, kCanMessageTest}};
    for (auto [button, command] : buttons)
        connect(button, &QPushButton::clicked, this, [open, command = command] { open(command); });
    connect(ui_->closeButton, &QPushButton::clicked, this, &QDialog::accept);
}

CCANDriverSetupDlg::~CCANDriverSetupDlg() = default;

}  // namespace nalvexa
