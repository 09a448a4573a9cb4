// SPDX-License-Identifier: MIT
#include "can_setup_dialog.h"

#include "ui_cansetupdialog.h"

namespace nalvexa {

CCANDriverSetupDlg::CCANDriverSetupDlg(std::function<void(int)> open, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::CanSetupDialog>())
{
    ui_->setupUi(this);
    const std::pair<QPushButton*, int> buttons[] = {{ui_->hardwareButton, 32779},
                                                    {ui_->nodeIdButton, 32780},
                                                    {ui_->nmtButton, 32781},
                                                    {ui_->lssButton, 32782},
                                                    {ui_->messageTestButton, 32783}};
    for (auto [button, command] : buttons)
        connect(button, &QPushButton::clicked, this, [open, command = command] { open(command); });
    connect(ui_->closeButton, &QPushButton::clicked, this, &QDialog::accept);
}

CCANDriverSetupDlg::~CCANDriverSetupDlg() = default;

}  // namespace nalvexa
