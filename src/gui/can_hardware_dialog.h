// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>
#include <QStringList>
#include <memory>

#include "can_dialogs.h"
#include "engine_events.h"

namespace Ui {
class CanHardwareDialog;
}

namespace nalvexa {

// "CAN Hardware Interface Driver": the dongle's port, interrupt and address,
// the bit rate and the channel; "buson" opens the library with them, "busoff" closes it.
class CCANHardwareDlg : public QDialog {
    Q_OBJECT
public:
    CCANHardwareDlg(IEngine& engine, IDialogHost& host, EngineEvents& events, const CanState& can,
                    QStringList channels, QWidget* parent = nullptr);
    ~CCANHardwareDlg() override;
    // The SocketCAN interfaces and serial ports of this machine, as channel names.
    static QStringList AvailableChannels();
    Ui::CanHardwareDialog& ui() { return *ui_; }
    void OnPortName();
    void OnBusOn();
    void OnBusOff();

private:
    void Show();
    void Take();
    void SetStates();

    std::unique_ptr<Ui::CanHardwareDialog> ui_;
    CanHardwareLogic logic_;
    bool loading_ = false;
};

}  // namespace nalvexa
