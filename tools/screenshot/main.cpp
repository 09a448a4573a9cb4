// SPDX-License-Identifier: MIT
// Renders the main window and the "Serial Port" dialog offscreen to PNG
// files for the README: nalvexa-screenshot DIR.
#include <QApplication>
#include <QFile>
#include <QPixmap>

#include "adapters/tr7100/adapter_tr7100.h"
#include "fakes.h"
#include "loopback_can_library.h"
#include "main_window.h"
#include "manual_clock.h"
#include "qt_tcp_listener.h"
#include "serial_port_dialog.h"

using namespace nalvexa;

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString dir = argc > 1 ? argv[1] : ".";
    IniFile ini((dir + "/screenshot.ini").toStdString());
    ini.WriteString("SocketServer", "SocketPort", "12001");
    ini.WriteString("SocketServer", "BindAddress", "127.0.0.1");
    ini.WriteString("TR7100", "SerialPort", "/dev/ttyUSB0");
    test::ManualClock clock;
    test::FakeNotifier notifier;
    test::FakeSerialDevice device;
    LoopbackCanLibrary can;
    QtTcpListener tcp;
    test::ManualPoster poster;
    AdapterHolder& holder = AdapterHolder::instance();
    holder.set(std::make_unique<CAdapterTR7100>(AdapterContext{clock, notifier, ini, device, can}));
    holder.adapter()->SetTitle("Quarlin Axtelo 3.02 - TR7100 Driver");
    ServerSockets server(tcp, holder, poster, notifier, clock);
    MainWindow window(server, holder, ini, notifier, "");
    window.Initialise();
    window.setWindowState(Qt::WindowNoState);
    window.show();
    app.processEvents();
    bool ok = window.grab().save(dir + "/main-window.png");
    SerialPortDialog dialog(*dynamic_cast<ISerialAdapter*>(holder.adapter()), {"/dev/ttyS0", "/dev/ttyUSB0"});
    dialog.show();
    app.processEvents();
    ok = dialog.grab().save(dir + "/serial-port-dialog.png") && ok;
    QFile::remove(dir + "/screenshot.ini");
    holder.set(nullptr);
    return ok ? 0 : 1;
}
