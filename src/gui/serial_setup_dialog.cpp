// SPDX-License-Identifier: MIT
#include "serial_setup_dialog.h"

#include "ui_serialsetupdialog.h"

namespace nalvexa {

SerialSetupDialog::SerialSetupDialog(IEngine& engine, const AdapterOffer& offer, Actions actions, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::SerialSetupDialog>()), logic_(engine, offer),
      actions_(std::move(actions))
{
    ui_->setupUi(this);
    setWindowTitle(QString::fromStdString(logic_.title()));
    ui_->qmrModeButton->setVisible(logic_.hasModeButton());
    connect(ui_->timeoutsButton, &QPushButton::clicked, this, [this] { actions_.setTimeouts(); });
    connect(ui_->serialPortButton, &QPushButton::clicked, this, [this] { actions_.configureSerialPort(); });
    connect(ui_->qmrModeButton, &QPushButton::clicked, this, [this] { logic_.PressMode(); });
    connect(ui_->closeButton, &QPushButton::clicked, this, &QDialog::accept);
}

SerialSetupDialog::~SerialSetupDialog() = default;

}  // namespace nalvexa
