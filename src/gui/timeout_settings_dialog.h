// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>
#include <memory>

#include "serial_dialogs.h"

namespace Ui {
class TimeoutSettingsDialog;
}

namespace nalvexa {

// "Timeout Settings": the response interval and the number of repetitions.
class TimeoutSettingsDialog : public QDialog {
    Q_OBJECT
public:
    TimeoutSettingsDialog(IEngine& engine, IDialogHost& host, const SerialState& serial, QWidget* parent = nullptr);
    ~TimeoutSettingsDialog() override;
    Ui::TimeoutSettingsDialog& ui() { return *ui_; }
    void OnOk();

private:
    std::unique_ptr<Ui::TimeoutSettingsDialog> ui_;
    TimeoutSettingsLogic logic_;
};

}  // namespace nalvexa
