// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>
#include <QStringList>
#include <memory>

#include "server/adapter_interfaces.h"

namespace Ui {
class SerialPortDialog;
}

namespace nalvexa {

// "Serial Port": opens and closes the port and chooses its name; the line
// settings are shown but not changed here.
class SerialPortDialog : public QDialog {
    Q_OBJECT
public:
    // `portNames`: what the list offers; the adapter's own name is added when missing.
    SerialPortDialog(ISerialAdapter& adapter, QStringList portNames, QWidget* parent = nullptr);
    ~SerialPortDialog() override;

    // The names the list offers on this platform: the system's serial ports.
    static QStringList SystemPortNames();

    Ui::SerialPortDialog& ui() { return *ui_; }
    void OnOpen();
    void OnClose();
    void OnOk();

private:
    void SetStates();
    void Apply();

    ISerialAdapter& adapter_;
    std::unique_ptr<Ui::SerialPortDialog> ui_;
};

}  // namespace nalvexa
