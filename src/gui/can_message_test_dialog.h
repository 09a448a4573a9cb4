// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>
#include <QLineEdit>
#include <memory>

#include "can_service_logic.h"
#include "engine_events.h"

namespace Ui {
class CanMessageTestDialog;
}

namespace nalvexa {

// "CAN Message Test": one raw frame out, one frame in: what arrived on the
// bus while nothing awaited it.
class CCANMessageTestDlg : public QDialog {
    Q_OBJECT
public:
    CCANMessageTestDlg(IEngine& engine, IDialogHost& host, EngineEvents& events, QWidget* parent = nullptr);
    ~CCANMessageTestDlg() override;
    Ui::CanMessageTestDialog& ui() { return *ui_; }
    void OnWrite();
    void OnRead() { logic_.Read(); }

private:
    QLineEdit* Field(int field);

    std::unique_ptr<Ui::CanMessageTestDialog> ui_;
    CanMessageTestLogic logic_;
};

}  // namespace nalvexa
