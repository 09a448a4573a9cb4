// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>
#include <memory>

#include "can/can_driver.h"

namespace Ui {
class CanMessageTestDialog;
}

namespace nalvexa {

// "CAN Message Test": one raw frame out, one frame in: what arrived on the
// bus while nothing awaited it.
class CCANMessageTestDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int32_t kMaxStandardId = 0x7FF;  // an 11-bit identifier

    CCANMessageTestDlg(CCANDriver& can, IUserNotifier& notifier, QWidget* parent = nullptr);
    ~CCANMessageTestDlg() override;
    Ui::CanMessageTestDialog& ui() { return *ui_; }
    void OnWrite();
    void OnRead();

private:
    CCANDriver& can_;
    IUserNotifier& notifier_;
    std::unique_ptr<Ui::CanMessageTestDialog> ui_;
    uint32_t id_ = 0;
    int32_t length_ = 0;
    int32_t data_[8] = {};
};

}  // namespace nalvexa
