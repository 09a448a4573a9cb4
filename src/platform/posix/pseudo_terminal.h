// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace nalvexa {

// A pseudo-terminal pair in raw mode: a program opens the device path as its
// serial port, the owner reads and writes the other end.
class PseudoTerminal {
public:
    PseudoTerminal() = default;
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // False with a reason in error().
    bool Open();
    const std::string& devicePath() const { return path_; }
    const std::string& error() const { return error_; }
    int fd() const { return master_; }

    // Waits up to timeoutMs for bytes; returns how many were read (0 on time-out, -1 on failure).
    long Read(uint8_t* into, size_t max, int timeoutMs);
    bool Write(const uint8_t* bytes, size_t count);
    // The line speed the device's user has set, in bits per second (0 if unknown).
    int BaudRate() const;

private:
    int master_ = -1;
    int slave_ = -1;  // kept open so the line stays up while the user reopens it
    std::string path_;
    std::string error_;
};

}  // namespace nalvexa
