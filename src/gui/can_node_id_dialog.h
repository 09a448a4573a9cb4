// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>
#include <memory>

#include "can/can_driver.h"

namespace Ui {
class CanNodeIdDialog;
}

namespace nalvexa {

// "CAN Node Identifier Selection": the drive's node-ID and the SDO COB-IDs,
// each with its hexadecimal echo; a new node-ID proposes the standard COB-IDs.
class CCANNodeIdDlg : public QDialog {
    Q_OBJECT
public:
    CCANNodeIdDlg(CCANDriver& can, IUserNotifier& notifier, QWidget* parent = nullptr);
    ~CCANNodeIdDlg() override;

    Ui::CanNodeIdDialog& ui() { return *ui_; }
    void OnOk();

private:
    void OnNodeIdEdited();
    void ShowFields();
    void Echo();

    CCANDriver& can_;
    IUserNotifier& notifier_;
    std::unique_ptr<Ui::CanNodeIdDialog> ui_;
    int32_t receiveCobId_;
    int32_t transmitCobId_;
    int32_t nodeId_;
};

}  // namespace nalvexa
