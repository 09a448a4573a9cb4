// SPDX-License-Identifier: MIT
#include "serial_setup_dialog.h"

#include "ui_serialsetupdialog.h"

namespace nalvexa {

SerialSetupDialog::SerialSetupDialog(const QString& title, Actions actions, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::SerialSetupDialog>()), actions_(std::move(actions))
{
    ui_->setupUi(this);
    setWindowTitle(title);
    ui_->qmrModeButton->setVisible(static_cast<bool>(actions_.switchToQmrMode));
    connect(ui_->timeoutsButton, &QPushButton::clicked, this, [this] { actions_.setTimeouts(); });
    connect(ui_->serialPortButton, &QPushButton::clicked, this, [this] { actions_.configureSerialPort(); });
    connect(ui_->qmrModeButton, &QPushButton::clicked, this, [this] {
        if (actions_.switchToQmrMode) actions_.switchToQmrMode();
    });
    connect(ui_->closeButton, &QPushButton::clicked, this, &QDialog::accept);
}

SerialSetupDialog::~SerialSetupDialog() = default;

}  // namespace nalvexa
