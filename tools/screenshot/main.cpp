// SPDX-License-Identifier: MIT
// Renders the main window and the "Serial Port" dialog offscreen to PNG
// files for the README: nalvexa-screenshot DIR.
#include <QApplication>
#include <QPixmap>

#include "adapters/tr7100/adapter_tr7100.h"
#include "fake_engine.h"
#include "main_window.h"
#include "serial_port_dialog.h"

using namespace nalvexa;

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString dir = argc > 1 ? argv[1] : ".";
    // What the engine of a TR7100 driver shows when it has started.
    EngineState state;
    state.title = "Quarlin Axtelo 3.02 - TR7100 Driver";
    state.offer = CAdapterTR7100::Offered();
    state.listening = true;
    state.port = 12001;
    state.deviceState = "Port open";
    SerialState& serial = state.serial.emplace();
    serial.line.portName = "/dev/ttyUSB0";
    serial.retryTimeout = 500;
    serial.retries = 5;
    serial.portOpen = true;
    test::FakeEngine engine;
    test::FakeHost host;
    MainWindow window(engine, host, "", state);
    window.Initialise();
    window.setWindowState(Qt::WindowNoState);
    window.show();
    app.processEvents();
    bool ok = window.grab().save(dir + "/main-window.png");
    SerialPortDialog dialog(engine, window.events(), serial, {"/dev/ttyS0", "/dev/ttyUSB0"});
    dialog.show();
    app.processEvents();
    ok = dialog.grab().save(dir + "/serial-port-dialog.png") && ok;
    return ok ? 0 : 1;
}
