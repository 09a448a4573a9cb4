// SPDX-License-Identifier: MIT
// The serial-line CAN protocol of common USB-CAN adapters: CR-terminated
// ASCII commands ("S6", "O", "C"), frames "tIIIL<data>" (11-bit) and
// "TIIIIIIIIL<data>" (29-bit), a lone CR for OK and BEL for an error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

#include "can/can_library.h"

namespace nalvexa::slcan {

// The digit of the "S" command for a bit-timing code, or 0 for a code without one.
char RateDigit(uint16_t btr);

std::string EncodeFrame(const CanMessage& frame);

struct Event {
    enum Kind { Frame, Ok, Bell, Command, Malformed } kind = Ok;
    CanMessage frame;  // Frame
    std::string text;  // Command: the line without its CR; Malformed: what was dropped
};

class Parser {
public:
    static constexpr size_t kMaxLine = 64;  // longer than any frame: the line is garbage

    void Feed(const uint8_t* bytes, size_t count);
    bool Next(Event& event);
    bool HasEvents() const { return !events_.empty(); }

private:
    void EndLine();

    std::string line_;
    bool overlong_ = false;
    std::deque<Event> events_;
};

}  // namespace nalvexa::slcan
