// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>
#include <memory>

#include "platform.h"

namespace Ui {
class TimeoutSettingsDialog;
}

namespace nalvexa {

// "Timeout Settings": the response interval and the number of repetitions.
class TimeoutSettingsDialog : public QDialog {
    Q_OBJECT
public:
    TimeoutSettingsDialog(int32_t retryTimeout, int32_t retries, IUserNotifier& notifier, QWidget* parent = nullptr);
    ~TimeoutSettingsDialog() override;

    Ui::TimeoutSettingsDialog& ui() { return *ui_; }
    int32_t retryTimeout() const { return retryTimeout_; }
    int32_t retries() const { return retries_; }
    void OnOk();

private:
    std::unique_ptr<Ui::TimeoutSettingsDialog> ui_;
    IUserNotifier& notifier_;
    int32_t retryTimeout_;
    int32_t retries_;
};

}  // namespace nalvexa
