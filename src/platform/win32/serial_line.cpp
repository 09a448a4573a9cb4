// SPDX-License-Identifier: MIT
#include "serial_line.h"

#include <algorithm>
#include <cctype>

namespace nalvexa {

namespace {

std::string SystemText(DWORD error)
{
    char* text = nullptr;
    const DWORD n = ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                         FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string out = n && text ? std::string(text, n) : "error " + std::to_string(error);
    if (text) ::LocalFree(text);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == '.' || out.back() == ' '))
        out.pop_back();
    return out;
}

// One overlapped transfer on the line, waited for here.
class Overlapped {
public:
    Overlapped() { io_.hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr); }
    ~Overlapped() { ::CloseHandle(io_.hEvent); }
    OVERLAPPED* get() { return &io_; }
    // The bytes moved, or -1 with the error.
    long Finish(HANDLE handle, BOOL started, DWORD& error)
    {
        DWORD n = 0;
        if (!started && (error = ::GetLastError()) != ERROR_IO_PENDING) return -1;
        if (!::GetOverlappedResult(handle, &io_, &n, TRUE)) {
            error = ::GetLastError();
            return -1;
        }
        return static_cast<long>(n);
    }

private:
    OVERLAPPED io_{};
};

}  // namespace

std::string SerialDevicePath(const std::string& name)
{
    std::string digits = name;
    if (!digits.empty() && digits.back() == ':') digits.pop_back();
    if (digits.size() >= 4 && digits.compare(0, 3, "COM") == 0) {
        digits = digits.substr(3);
        bool allDigits = digits.size() <= 4;
        for (char c : digits) allDigits = allDigits && std::isdigit(static_cast<unsigned char>(c));
        if (allDigits) return "\\\\.\\COM" + digits;
    }
    return name;
}

SerialOpenResult SerialLine::Open(const std::string& portName, const SerialLineSettings& s, std::string& error)
{
    Close();
    path_ = SerialDevicePath(portName);
    handle_ = ::CreateFileA(path_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OVERLAPPED, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE) {
        const DWORD e = ::GetLastError();
        error = portName + ": " + (e == ERROR_ACCESS_DENIED ? "in use by another program" : SystemText(e));
        return SerialOpenResult::OpenFailed;
    }
    if (!::SetupComm(handle_, 4096, 4096)) {
        error = portName + ": " + SystemText(::GetLastError());
        return SerialOpenResult::QueueFailed;
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(handle_, &dcb)) {
        error = portName + ": " + SystemText(::GetLastError());
        return SerialOpenResult::StateFailed;
    }
    static const BYTE kParity[] = {NOPARITY, ODDPARITY, EVENPARITY, MARKPARITY, SPACEPARITY};
    static const BYTE kStopBits[] = {ONESTOPBIT, ONE5STOPBITS, TWOSTOPBITS};
    if (s.parity > 4 || s.stopBits > 2) {
        error = portName + ": no such parity or stop bits";
        return SerialOpenResult::StateFailed;
    }
    dcb.BaudRate = static_cast<DWORD>(s.baudRate);
    dcb.ByteSize = 8;
    dcb.Parity = kParity[s.parity];
    dcb.StopBits = kStopBits[s.stopBits];
    dcb.fBinary = TRUE;
    dcb.fParity = s.parity != 0;
    dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = dcb.fInX = FALSE;
    dcb.fErrorChar = dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    dcb.fRtsControl = static_cast<DWORD>(s.rtsControl & 3);  // disable, enable, handshake, toggle
    dcb.fDtrControl = static_cast<DWORD>(s.dtrControl & 3);  // disable, enable, handshake
    if (!::SetCommState(handle_, &dcb)) {
        error = portName + ": " + std::to_string(s.baudRate) + " baud (or the framing) refused";
        return SerialOpenResult::StateFailed;
    }
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;  // a read takes what is there and returns
    timeouts.WriteTotalTimeoutConstant = 1000;
    if (!::SetCommTimeouts(handle_, &timeouts) || !::SetCommMask(handle_, EV_RXCHAR)) {
        error = portName + ": " + SystemText(::GetLastError());
        return SerialOpenResult::TimeoutsFailed;
    }
    if (!rxWait_.hEvent) rxWait_.hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    rxPending_ = false;
    ::PurgeComm(handle_, PURGE_RXCLEAR | PURGE_TXCLEAR);
    return SerialOpenResult::Ok;
}

SerialLine::~SerialLine()
{
    Close();
    if (rxWait_.hEvent) ::CloseHandle(rxWait_.hEvent);
}

void SerialLine::Close()
{
    if (handle_ == INVALID_HANDLE_VALUE) return;
    ::CloseHandle(handle_);  // ends a pending wait too
    handle_ = INVALID_HANDLE_VALUE;
    rxPending_ = false;
}

long SerialLine::ReadAvailable(uint8_t* into, size_t max, DWORD& error)
{
    if (!isOpen()) return 0;
    COMSTAT status{};
    DWORD errors = 0;
    if (!::ClearCommError(handle_, &errors, &status)) {
        error = ::GetLastError();
        return -1;
    }
    const DWORD want = static_cast<DWORD>(std::min<size_t>(status.cbInQue, max));
    if (want == 0) return 0;
    // What the device holds can be read without waiting.
    Overlapped io;
    return io.Finish(handle_, ::ReadFile(handle_, into, want, nullptr, io.get()), error);
}

long SerialLine::Read(uint8_t* into, size_t max, std::string& reason)
{
    DWORD error = 0;
    const long n = ReadAvailable(into, max, error);
    if (n < 0) reason = FailureReason(static_cast<int>(error));
    return n;
}

bool SerialLine::ArmRxWait(DWORD& error)
{
    if (!isOpen()) {
        error = ERROR_INVALID_HANDLE;
        return false;
    }
    if (rxPending_) {
        // The last wait has ended (its event is set) or is still on.
        DWORD ignored = 0;
        if (!::GetOverlappedResult(handle_, &rxWait_, &ignored, FALSE) && ::GetLastError() == ERROR_IO_INCOMPLETE)
            return true;
        rxPending_ = false;
    }
    if (::WaitCommEvent(handle_, &rxMask_, &rxWait_)) {
        ::SetEvent(rxWait_.hEvent);  // a byte has come already
        return true;
    }
    error = ::GetLastError();
    if (error != ERROR_IO_PENDING) return false;
    rxPending_ = true;
    return true;
}

HANDLE SerialLine::DuplicateRxEvent() const
{
    HANDLE copy = nullptr;
    ::DuplicateHandle(::GetCurrentProcess(), rxWait_.hEvent, ::GetCurrentProcess(), &copy, 0, FALSE,
                      DUPLICATE_SAME_ACCESS);
    return copy;
}

long SerialLine::ReadWait(uint8_t* into, size_t max, int timeoutMs, std::string& reason)
{
    DWORD error = 0;
    long n = ReadAvailable(into, max, error);
    if (n == 0 && timeoutMs > 0) {
        if (!ArmRxWait(error)) {
            reason = FailureReason(static_cast<int>(error));
            return -1;
        }
        ::WaitForSingleObject(rxWait_.hEvent, static_cast<DWORD>(timeoutMs));
        n = ReadAvailable(into, max, error);
    }
    if (n < 0) reason = FailureReason(static_cast<int>(error));
    return n;
}

bool SerialLine::Write(const uint8_t* bytes, size_t count, std::string& reason)
{
    if (!isOpen()) return false;
    Overlapped io;
    DWORD error = 0;
    const long n = io.Finish(handle_, ::WriteFile(handle_, bytes, static_cast<DWORD>(count), nullptr, io.get()), error);
    if (n < 0) {
        reason = FailureReason(static_cast<int>(error));
        return false;
    }
    if (static_cast<size_t>(n) < count) {
        reason = kFull;
        return false;
    }
    return true;
}

int SerialLine::Unsent() const
{
    COMSTAT status{};
    DWORD errors = 0;
    if (!isOpen() || !::ClearCommError(handle_, &errors, &status)) return 0;
    return static_cast<int>(status.cbOutQue);
}

void SerialLine::DiscardInput()
{
    if (isOpen()) ::PurgeComm(handle_, PURGE_RXCLEAR);
}

std::string SerialLine::FailureReason(int error) const
{
    return error == 0 ? "the device ended its input" : SystemText(static_cast<DWORD>(error));
}

bool SerialLine::HungUp() const
{
    COMSTAT status{};
    DWORD errors = 0;
    return isOpen() && !::ClearCommError(handle_, &errors, &status);
}

}  // namespace nalvexa
