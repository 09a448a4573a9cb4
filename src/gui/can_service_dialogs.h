// SPDX-License-Identifier: MIT
// The CAN dialogs that run the network services: NMT, the LSS menu and its
// three procedures.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>

#include "can/can_driver.h"

namespace Ui {
class CanNmtDialog;
class CanLssDialog;
class CanSetNodeIdDialog;
class CanSetBaudrateDialog;
class CanInquireLssDialog;
}  // namespace Ui

namespace nalvexa {

using DialogRunner = std::function<int(QDialog&)>;

extern const char* const kNmtWarning;
extern const char* const kBitRateWarning;
extern const char* const kInquireWarning;
extern const char* const kSetNodeIdSerialWarning;
extern const char* const kSetNodeIdGlobalWarning;

// "CAN NMT": the five commands, after a warning that is confirmed once a run.
class CCANNmtDlg : public QDialog {
    Q_OBJECT
public:
    CCANNmtDlg(CCANDriver& can, IUserNotifier& notifier, QWidget* parent = nullptr);
    ~CCANNmtDlg() override;
    Ui::CanNmtDialog& ui() { return *ui_; }

private:
    void Run(void (CCANDriver::*command)());

    CCANDriver& can_;
    IUserNotifier& notifier_;
    std::unique_ptr<Ui::CanNmtDialog> ui_;
};

// "CAN Layer Setting Services": opens the three procedures' dialogs.
class CCANLssDlg : public QDialog {
    Q_OBJECT
public:
    CCANLssDlg(CCANDriver& can, IUserNotifier& notifier, DialogRunner run, QWidget* parent = nullptr);
    ~CCANLssDlg() override;
    Ui::CanLssDialog& ui() { return *ui_; }

private:
    CCANDriver& can_;
    IUserNotifier& notifier_;
    DialogRunner run_;
    std::unique_ptr<Ui::CanLssDialog> ui_;
};

// "CAN Set Node Identifier": a new node-ID for one drive (by serial number) or for the only one.
class CCANSetNodeIdDlg : public QDialog {
    Q_OBJECT
public:
    CCANSetNodeIdDlg(CCANDriver& can, IUserNotifier& notifier, QWidget* parent = nullptr);
    ~CCANSetNodeIdDlg() override;
    Ui::CanSetNodeIdDialog& ui() { return *ui_; }
    void OnOk();

private:
    CCANDriver& can_;
    IUserNotifier& notifier_;
    std::unique_ptr<Ui::CanSetNodeIdDialog> ui_;
};

// "CAN Set CAN baudrate": moves every drive, then the program, to a new bit rate.
class CCANSetBaudrateDlg : public QDialog {
    Q_OBJECT
public:
    explicit CCANSetBaudrateDlg(CCANDriver& can, QWidget* parent = nullptr);
    ~CCANSetBaudrateDlg() override;
    Ui::CanSetBaudrateDialog& ui() { return *ui_; }
    void OnOk();

private:
    CCANDriver& can_;
    std::unique_ptr<Ui::CanSetBaudrateDialog> ui_;
};

// "CAN Inquire LSS Address": the drive's identity, read as the dialog opens.
class CCANInquireLssDlg : public QDialog {
    Q_OBJECT
public:
    // The inquiry starts with the dialog and fills its fields when it has ended.
    explicit CCANInquireLssDlg(CCANDriver& can, QWidget* parent = nullptr);
    ~CCANInquireLssDlg() override;
    Ui::CanInquireLssDialog& ui() { return *ui_; }
    bool inquired() const { return inquired_; }

private:
    std::unique_ptr<Ui::CanInquireLssDialog> ui_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    bool inquired_ = false;
};

}  // namespace nalvexa
