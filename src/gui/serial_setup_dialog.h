// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>
#include <functional>
#include <memory>

#include "serial_dialogs.h"

namespace Ui {
class SerialSetupDialog;
}

namespace nalvexa {

// "TR7100 Driver Setup", "LVT Driver Setup" and "QMR Driver Setup": buttons
// that open the timeout and serial port dialogs, and for QMR the mode switch.
class SerialSetupDialog : public QDialog {
    Q_OBJECT
public:
    struct Actions {
        std::function<void()> setTimeouts;
        std::function<void()> configureSerialPort;
    };
    SerialSetupDialog(IEngine& engine, const AdapterOffer& offer, Actions actions, QWidget* parent = nullptr);
    ~SerialSetupDialog() override;
    Ui::SerialSetupDialog& ui() { return *ui_; }

private:
    std::unique_ptr<Ui::SerialSetupDialog> ui_;
    SerialSetupLogic logic_;
    Actions actions_;
};

}  // namespace nalvexa
