// SPDX-License-Identifier: MIT
// Runs the real programs: child processes with their output captured, and a
// TCP client of the wire protocol.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace nalvexa::it {

using Bytes = std::vector<uint8_t>;

class Process {
public:
    Process(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env = {});
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Waits for a line on stdout that starts with `prefix`; returns it, or "" on time-out.
    std::string WaitForLine(const std::string& prefix, int timeoutMs = 5000);
    // Waits until stderr holds `text`; false on time-out.
    bool WaitForError(const std::string& text, int timeoutMs = 5000);
    // Waits until stderr holds these lines in this order, others between them allowed.
    bool WaitForErrorLines(const std::vector<std::string>& lines, int timeoutMs = 5000);
    // Waits for the process to end; its exit status, or -1 on time-out.
    int Wait(int timeoutMs = 5000);
    void Signal(int signal);
    int pid() const { return pid_; }

    const std::string& out() { Pump(0); return out_; }
    const std::string& err() { Pump(0); return err_; }

private:
    void Pump(int timeoutMs);

    int pid_ = -1;
    int outFd_ = -1;
    int errFd_ = -1;
    int status_ = -1;
    std::string out_, err_;
    size_t outScanned_ = 0;
};

class Client {
public:
    // `from`: the local address to connect from (the system's choice if empty).
    explicit Client(uint16_t port, const std::string& host = "127.0.0.1", const std::string& from = "");
    ~Client();
    bool connected() const { return fd_ >= 0; }
    void Send(const Bytes& bytes);
    // Exactly n bytes, or fewer if the time ran out or the server closed.
    Bytes Receive(size_t n, int timeoutMs = 5000);
    // True when the server closed the connection within the time.
    bool ClosedByServer(int timeoutMs = 3000);
    // True when nothing at all arrives within the time.
    bool Silent(int timeoutMs);
    // Sends what the socket takes now, without waiting; how many bytes went.
    size_t SendSome(const Bytes& bytes);
    // No more requests: the sending side is shut, answers can still come.
    void ShutdownWrite();
    uint16_t localPort() const;
    void Close();

private:
    int fd_ = -1;
};

Bytes Word(uint32_t v);
Bytes operator+(Bytes a, const Bytes& b);
Bytes ReadRequest(uint32_t address, uint32_t length, uint32_t i1, uint32_t i2, uint32_t i3);
Bytes WriteRequest(uint32_t address, const Bytes& payload, uint32_t i1, uint32_t i2, uint32_t i3);
Bytes ControlRequest(uint32_t code, uint32_t p1, uint32_t p2);
Bytes CloseRequest();

// The driver under test: $NALVEXA_DRIVER (the window build's headless
// mode, on its own platform layer), else the daemon.
const char* DriverProgram();

std::string TempDirectory();
// A "kB" field of /proc/PID/status ("VmRSS:", "VmHWM:"); 0 when it cannot be read.
long ProcKb(int pid, const char* field);
void WriteFile(const std::string& path, const std::string& text);
std::string ReadFile(const std::string& path);

}  // namespace nalvexa::it
