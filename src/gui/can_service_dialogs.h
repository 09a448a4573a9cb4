// SPDX-License-Identifier: MIT
// The CAN dialogs that run the network services: NMT, the LSS menu and its
// three procedures.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>

#include "can_service_logic.h"
#include "engine_events.h"

namespace Ui {
class CanNmtDialog;
class CanLssDialog;
class CanSetNodeIdDialog;
class CanSetBaudrateDialog;
class CanInquireLssDialog;
}  // namespace Ui

namespace nalvexa {

using DialogRunner = std::function<int(QDialog&)>;

// "CAN NMT": the five commands, after a warning that is confirmed once a run.
class CCANNmtDlg : public QDialog {
    Q_OBJECT
public:
    CCANNmtDlg(IEngine& engine, IDialogHost& host, EngineEvents& events, const CanState& can,
               QWidget* parent = nullptr);
    ~CCANNmtDlg() override;
    Ui::CanNmtDialog& ui() { return *ui_; }

private:
    std::unique_ptr<Ui::CanNmtDialog> ui_;
    CanNmtLogic logic_;
};

// "CAN Layer Setting Services": opens the three procedures' dialogs.
class CCANLssDlg : public QDialog {
    Q_OBJECT
public:
    CCANLssDlg(IEngine& engine, IDialogHost& host, EngineEvents& events, const CanState& can, DialogRunner run,
               QWidget* parent = nullptr);
    ~CCANLssDlg() override;
    Ui::CanLssDialog& ui() { return *ui_; }

private:
    std::unique_ptr<Ui::CanLssDialog> ui_;
    CanLssLogic logic_;
};

// "CAN Set Node Identifier": a new node-ID for one drive (by serial number) or for the only one.
class CCANSetNodeIdDlg : public QDialog {
    Q_OBJECT
public:
    CCANSetNodeIdDlg(IEngine& engine, IDialogHost& host, const CanState& can, QWidget* parent = nullptr);
    ~CCANSetNodeIdDlg() override;
    Ui::CanSetNodeIdDialog& ui() { return *ui_; }
    void OnOk();

private:
    std::unique_ptr<Ui::CanSetNodeIdDialog> ui_;
    CanSetNodeIdLogic logic_;
};

// "CAN Set CAN baudrate": moves every drive, then the program, to a new bit rate.
class CCANSetBaudrateDlg : public QDialog {
    Q_OBJECT
public:
    CCANSetBaudrateDlg(IEngine& engine, const CanState& can, QWidget* parent = nullptr);
    ~CCANSetBaudrateDlg() override;
    Ui::CanSetBaudrateDialog& ui() { return *ui_; }
    void OnOk();

private:
    std::unique_ptr<Ui::CanSetBaudrateDialog> ui_;
    CanSetBitRateLogic logic_;
};

// "CAN Inquire LSS Address": the drive's identity, read as the dialog opens.
class CCANInquireLssDlg : public QDialog {
    Q_OBJECT
public:
    // The inquiry starts with the dialog and fills its fields when it has ended.
    CCANInquireLssDlg(IEngine& engine, EngineEvents& events, QWidget* parent = nullptr);
    ~CCANInquireLssDlg() override;
    Ui::CanInquireLssDialog& ui() { return *ui_; }
    bool inquired() const { return logic_.inquired(); }

private:
    std::unique_ptr<Ui::CanInquireLssDialog> ui_;
    CanInquireLogic logic_;
};

}  // namespace nalvexa
