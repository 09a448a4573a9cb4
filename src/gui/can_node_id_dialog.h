// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>
#include <memory>

#include "can_dialogs.h"

namespace Ui {
class CanNodeIdDialog;
}

namespace nalvexa {

// "CAN Node Identifier Selection": the drive's node-ID and the SDO COB-IDs,
// each with its hexadecimal echo; a new node-ID proposes the standard COB-IDs.
class CCANNodeIdDlg : public QDialog {
    Q_OBJECT
public:
    CCANNodeIdDlg(IEngine& engine, IDialogHost& host, const CanState& can, QWidget* parent = nullptr);
    ~CCANNodeIdDlg() override;
    Ui::CanNodeIdDialog& ui() { return *ui_; }
    void OnOk();

private:
    void OnNodeIdEdited();
    void Echo();

    std::unique_ptr<Ui::CanNodeIdDialog> ui_;
    CanNodeIdLogic logic_;
};

}  // namespace nalvexa
