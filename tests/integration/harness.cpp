// SPDX-License-Identifier: MIT
#include "harness.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace nalvexa::it {

namespace {

using Clock = std::chrono::steady_clock;

int Remaining(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

Process::Process(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env)
{
    int out[2], err[2];
    // Close-on-exec: a process started later must not hold this one's pipes.
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, err[0]);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);

    std::map<std::string, std::string> environment;
    for (char** e = environ; *e; ++e) {
        std::string kv = *e;
        size_t eq = kv.find('=');
        if (eq != std::string::npos) environment[kv.substr(0, eq)] = kv.substr(eq + 1);
    }
    environment.erase("DISPLAY");
    environment.erase("WAYLAND_DISPLAY");
    environment.erase("QT_QPA_PLATFORM");
    for (auto& [k, v] : env) {
        if (v.empty()) environment.erase(k);
        else environment[k] = v;
    }
    std::vector<std::string> envText;
    for (auto& [k, v] : environment) envText.push_back(k + "=" + v);
    std::vector<char*> envp, args;
    for (auto& s : envText) envp.push_back(s.data());
    envp.push_back(nullptr);
    std::vector<std::string> argCopy = argv;
    for (auto& s : argCopy) args.push_back(s.data());
    args.push_back(nullptr);

    if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    outFd_ = out[0];
    errFd_ = err[0];
}

Process::~Process()
{
    if (pid_ > 0 && status_ < 0) {
        // Asked first, so that it can let go of what it holds (serial port locks).
        ::kill(pid_, SIGTERM);
        if (Wait(2000) < 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    if (outFd_ >= 0) ::close(outFd_);
    if (errFd_ >= 0) ::close(errFd_);
}

void Process::Pump(int timeoutMs)
{
    pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
    if (::poll(fds, 2, timeoutMs) <= 0) return;
    char buffer[4096];
    for (int i = 0; i < 2; ++i) {
        if (!(fds[i].revents & (POLLIN | POLLHUP))) continue;
        ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
        if (n > 0) (i == 0 ? out_ : err_).append(buffer, static_cast<size_t>(n));
        if (n == 0) {
            ::close(fds[i].fd);
            (i == 0 ? outFd_ : errFd_) = -1;
        }
    }
}

std::string Process::WaitForLine(const std::string& prefix, int timeoutMs)
{
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        size_t nl;
        while ((nl = out_.find('\n', outScanned_)) != std::string::npos) {
            std::string line = out_.substr(outScanned_, nl - outScanned_);
            outScanned_ = nl + 1;
            if (line.rfind(prefix, 0) == 0) return line;
        }
        if (Remaining(deadline) == 0 || (outFd_ < 0 && errFd_ < 0)) return "";
        Pump(std::min(Remaining(deadline), 50));
    }
}

bool Process::WaitForError(const std::string& text, int timeoutMs)
{
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (err_.find(text) == std::string::npos) {
        if (Remaining(deadline) == 0 || (outFd_ < 0 && errFd_ < 0)) return false;
        Pump(std::min(Remaining(deadline), 50));
    }
    return true;
}

bool Process::WaitForErrorLines(const std::vector<std::string>& lines, int timeoutMs)
{
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        size_t at = 0, found = 0;
        for (const std::string& line : lines) {
            size_t pos = err_.find(line + "\n", at);
            if (pos == std::string::npos || (pos > 0 && err_[pos - 1] != '\n')) break;
            at = pos + line.size() + 1;
            ++found;
        }
        if (found == lines.size()) return true;
        if (Remaining(deadline) == 0 || (outFd_ < 0 && errFd_ < 0)) return false;
        Pump(std::min(Remaining(deadline), 50));
    }
}

int Process::Wait(int timeoutMs)
{
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (status_ < 0) {
        int st = 0;
        pid_t r = ::waitpid(pid_, &st, WNOHANG);
        if (r == pid_) {
            status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
            break;
        }
        if (Remaining(deadline) == 0) return -1;
        Pump(10);
    }
    Pump(0);
    return status_;
}

void Process::Signal(int signal)
{
    if (pid_ > 0 && status_ < 0) ::kill(pid_, signal);
}

Client::Client(uint16_t port, const std::string& host, const std::string& from)
{
    // Not inherited by the programs started later: they would keep the connection open.
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (!from.empty()) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        ::inet_pton(AF_INET, from.c_str(), &local.sin_addr);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local);
    }
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    ::inet_pton(AF_INET, host.c_str(), &a.sin_addr);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd_);
        fd_ = -1;
        return;
    }
    int one = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

Client::~Client() { Close(); }

void Client::Close()
{
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void Client::Send(const Bytes& bytes)
{
    size_t sent = 0;
    while (fd_ >= 0 && sent < bytes.size()) {
        ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return;
        sent += static_cast<size_t>(n);
    }
}

Bytes Client::Receive(size_t n, int timeoutMs)
{
    Bytes got;
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (fd_ >= 0 && got.size() < n) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, Remaining(deadline)) <= 0) break;
        uint8_t buffer[4096];
        ssize_t r = ::recv(fd_, buffer, std::min(sizeof buffer, n - got.size()), 0);
        if (r <= 0) break;
        got.insert(got.end(), buffer, buffer + r);
    }
    return got;
}

bool Client::ClosedByServer(int timeoutMs)
{
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (fd_ >= 0) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, Remaining(deadline)) <= 0) return false;
        uint8_t buffer[256];
        ssize_t r = ::recv(fd_, buffer, sizeof buffer, 0);
        if (r <= 0) return true;
    }
    return false;
}

size_t Client::SendSome(const Bytes& bytes)
{
    if (fd_ < 0) return 0;
    ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    return n > 0 ? static_cast<size_t>(n) : 0;
}

void Client::ShutdownWrite()
{
    if (fd_ >= 0) ::shutdown(fd_, SHUT_WR);
}

uint16_t Client::localPort() const
{
    sockaddr_in a{};
    socklen_t size = sizeof a;
    if (fd_ < 0 || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &size) != 0) return 0;
    return ntohs(a.sin_port);
}

bool Client::Silent(int timeoutMs)
{
    pollfd p{fd_, POLLIN, 0};
    return ::poll(&p, 1, timeoutMs) == 0;
}

Bytes Word(uint32_t v)
{
    return {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8),
            static_cast<uint8_t>(v)};
}

Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes ReadRequest(uint32_t address, uint32_t length, uint32_t i1, uint32_t i2, uint32_t i3)
{
    return Word(1) + Word(0) + Word(address) + Word(length) + Word(i1) + Word(i2) + Word(i3);
}

Bytes WriteRequest(uint32_t address, const Bytes& payload, uint32_t i1, uint32_t i2, uint32_t i3)
{
    return Word(2) + Word(0) + Word(address) + Word(static_cast<uint32_t>(payload.size())) + Word(i1) + Word(i2) +
           Word(i3) + payload;
}

Bytes ControlRequest(uint32_t code, uint32_t p1, uint32_t p2)
{
    return Word(3) + Word(0) + Word(code) + Word(p1) + Word(p2);
}

Bytes CloseRequest() { return Word(4) + Word(0); }

const char* DriverProgram()
{
    const char* other = std::getenv("NALVEXA_DRIVER");
    return other && *other ? other : NALVEXA_BIN;
}

long ProcKb(int pid, const char* field)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::string(field).size()));
    return 0;
}

std::string TempDirectory()
{
    std::string pattern = "/tmp/nalvexa-it-XXXXXX";
    char* made = ::mkdtemp(pattern.data());
    return made ? made : "/tmp";
}

void WriteFile(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace nalvexa::it
