// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>
#include <QStringList>
#include <memory>

#include "engine_events.h"
#include "serial_dialogs.h"

namespace Ui {
class SerialPortDialog;
}

namespace nalvexa {

// "Serial Port": opens and closes the port and chooses its name; the line
// settings are shown but not changed here.
class SerialPortDialog : public QDialog {
    Q_OBJECT
public:
    // `portNames`: what the list offers; the port in use is added when missing.
    SerialPortDialog(IEngine& engine, EngineEvents& events, const SerialState& serial, QStringList portNames,
                     QWidget* parent = nullptr);
    ~SerialPortDialog() override;

    // The names the list offers on this platform: the system's serial ports.
    static QStringList SystemPortNames();

    Ui::SerialPortDialog& ui() { return *ui_; }
    void OnOpen();
    void OnClose();
    void OnOk();

private:
    void Take();
    void SetStates();

    std::unique_ptr<Ui::SerialPortDialog> ui_;
    SerialPortLogic logic_;
};

}  // namespace nalvexa
