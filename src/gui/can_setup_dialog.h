// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>
#include <functional>
#include <memory>

namespace Ui {
class CanSetupDialog;
}

namespace nalvexa {

// "CAN Driver Setup": a button for each of the five CAN dialogs.
class CCANDriverSetupDlg : public QDialog {
    Q_OBJECT
public:
    // Opens the dialog of a menu command (32779 to 32783).
    CCANDriverSetupDlg(std::function<void(int command)> open, QWidget* parent = nullptr);
    ~CCANDriverSetupDlg() override;
    Ui::CanSetupDialog& ui() { return *ui_; }

private:
    std::unique_ptr<Ui::CanSetupDialog> ui_;
};

}  // namespace nalvexa
