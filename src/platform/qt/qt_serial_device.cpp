#include "qt_serial_device.h"

#include <cctype>
#ifdef __linux__
#include <sys/ioctl.h>
#include <termios.h>
#endif

namespace nalvexa {

std::string SerialDevicePath(const std::string& name)
{
    if (name.size() >= 5 && name.compare(0, 3, "COM") == 0 && name.back() == ':') {
        std::string digits = name.substr(3, name.size() - 4);
        bool allDigits = !digits.empty() && digits.size() <= 4;
        for (char c : digits) allDigits = allDigits && std::isdigit(static_cast<unsigned char>(c));
        if (allDigits && std::stoi(digits) >= 1) return "/dev/ttyS" + std::to_string(std::stoi(digits) - 1);
    }
    return name;
}

QtSerialDevice::QtSerialDevice()
{
    QObject::connect(&port_, &QSerialPort::readyRead, [this] { OnReadyRead(); });
    QObject::connect(&port_, &QSerialPort::errorOccurred, [this](QSerialPort::SerialPortError e) {
        // The device went away (unplugged, or the other end of a pseudo-terminal closed).
        if (e == QSerialPort::ResourceError && port_.isOpen()) port_.close();
    });
}

SerialOpenResult QtSerialDevice::open(const std::string& name, const SerialLineSettings& s)
{
    port_.setPortName(QString::fromStdString(SerialDevicePath(name)));
    if (!port_.open(QIODevice::ReadWrite)) return SerialOpenResult::OpenFailed;
    receiving_ = false;

    QSerialPort::Parity parity = QSerialPort::NoParity;
    switch (s.parity) {
    case 1: parity = QSerialPort::OddParity; break;
    case 2: parity = QSerialPort::EvenParity; break;
    case 3: parity = QSerialPort::MarkParity; break;
    case 4: parity = QSerialPort::SpaceParity; break;
    default: break;
    }
    QSerialPort::StopBits stop = s.stopBits == 1   ? QSerialPort::OneAndHalfStop
                                 : s.stopBits == 2 ? QSerialPort::TwoStop
                                                   : QSerialPort::OneStop;
    bool ok = port_.setBaudRate(s.baudRate) && port_.setDataBits(QSerialPort::Data8) &&
              port_.setParity(parity) && port_.setStopBits(stop) &&
              port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!ok) {
        port_.clearError();
        return SerialOpenResult::StateFailed;
    }
    // Line modes a device refuses (a pseudo-terminal has no RTS or DTR) do not stop the port.
    port_.setRequestToSend((s.rtsControl & 3) == 1);
    port_.setDataTerminalReady((s.dtrControl & 3) == 1);
    port_.clearError();
    port_.clear(QSerialPort::Input);
    receiving_ = true;
    return SerialOpenResult::Ok;
}

bool QtSerialDevice::close()
{
    port_.close();
    receiving_ = false;
    return true;
}

bool QtSerialDevice::write(const uint8_t* bytes, int count)
{
    if (!port_.isOpen()) return false;
    if (port_.write(reinterpret_cast<const char*>(bytes), count) != count) return false;
    port_.flush();
    return true;
}

int QtSerialDevice::unsentBytes() const
{
    if (!port_.isOpen()) return 0;
    int queued = 0;
#ifdef TIOCOUTQ
    // What the kernel still holds for the line; a pseudo-terminal reports 0.
    if (::ioctl(port_.handle(), TIOCOUTQ, &queued) != 0) queued = 0;
#endif
    return static_cast<int>(port_.bytesToWrite()) + queued;
}

void QtSerialDevice::discardInput()
{
    if (!port_.isOpen()) return;
    port_.readAll();  // what Qt has already read
    port_.clear(QSerialPort::Input);  // and what the driver still holds
}

void QtSerialDevice::OnReadyRead()
{
    char buffer[1000];
    while (port_.isOpen() && port_.bytesAvailable() > 0) {
        qint64 n = port_.read(buffer, sizeof buffer);
        if (n <= 0) break;
        if (receiving_ && handler_) handler_(reinterpret_cast<const uint8_t*>(buffer), static_cast<int>(n));
    }
}

}  // namespace nalvexa
