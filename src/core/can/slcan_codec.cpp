// SPDX-License-Identifier: MIT
#include "can/slcan_codec.h"

namespace nalvexa::slcan {

namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool ParseHex(const std::string& s, size_t at, size_t digits, uint32_t& value)
{
    if (at + digits > s.size()) return false;
    value = 0;
    for (size_t i = 0; i < digits; ++i) {
        int v = HexValue(s[at + i]);
        if (v < 0) return false;
        value = value << 4 | static_cast<uint32_t>(v);
    }
    return true;
}

// "tIIIL..", "TIIIIIIIIL..", and the remote-frame forms "r" and "R".
bool ParseFrame(const std::string& s, CanMessage& frame)
{
    const char kind = s[0];
    const bool extended = kind == 'T' || kind == 'R';
    const bool remote = kind == 'r' || kind == 'R';
    const size_t idDigits = extended ? 8 : 3;
    uint32_t id = 0, length = 0;
    if (!ParseHex(s, 1, idDigits, id) || !ParseHex(s, 1 + idDigits, 1, length) || length > 8) return false;
    if (id > (extended ? 0x1FFFFFFFu : 0x7FFu)) return false;
    const size_t dataAt = 2 + idDigits;
    if (s.size() != dataAt + (remote ? 0 : 2 * length)) return false;
    frame = CanMessage{};
    frame.id = id;
    frame.type = static_cast<uint8_t>((extended ? 2 : 0) | (remote ? 1 : 0));
    frame.length = static_cast<uint8_t>(length);
    for (uint32_t i = 0; !remote && i < length; ++i) {
        uint32_t byte = 0;
        ParseHex(s, dataAt + 2 * i, 2, byte);
        frame.data[i] = static_cast<uint8_t>(byte);
    }
    return true;
}

}  // namespace

char RateDigit(uint16_t btr)
{
    switch (btr) {
    case can::kBtr10k: return '0';
    case can::kBtr20k: return '1';
    case can::kBtr50k: return '2';
    case can::kBtr125k: return '4';
    case can::kBtr250k: return '5';
    case can::kBtr500k: return '6';
    case can::kBtr1M: return '8';
    default: return 0;
    }
}

std::string EncodeFrame(const CanMessage& frame)
{
    static const char* digits = "0123456789ABCDEF";
    const bool extended = frame.id > 0x7FF;
    const uint8_t length = frame.length > 8 ? 8 : frame.length;
    std::string s(1, extended ? 'T' : 't');
    for (int shift = extended ? 28 : 8; shift >= 0; shift -= 4) s += digits[(frame.id >> shift) & 0xF];
    s += digits[length];
    for (uint8_t i = 0; i < length; ++i) {
        s += digits[frame.data[i] >> 4];
        s += digits[frame.data[i] & 0xF];
    }
    s += '\r';
    return s;
}

void Parser::Feed(const uint8_t* bytes, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const char c = static_cast<char>(bytes[i]);
        if (c == '\a') {
            events_.push_back({Event::Bell, {}, {}});
        } else if (c == '\r' || c == '\n') {
            EndLine();
        } else if (line_.size() < kMaxLine) {
            line_ += c;
        } else {
            overlong_ = true;
        }
    }
}

void Parser::EndLine()
{
    Event e;
    if (overlong_) {
        e.kind = Event::Malformed;
        e.text = line_;
    } else if (line_.empty()) {
        e.kind = Event::Ok;
    } else if (line_ == "z" || line_ == "Z") {
        e.kind = Event::Ok;  // a transmission acknowledged
    } else if (line_[0] == 't' || line_[0] == 'T' || line_[0] == 'r' || line_[0] == 'R') {
        e.kind = ParseFrame(line_, e.frame) ? Event::Frame : Event::Malformed;
        e.text = line_;
    } else if (line_[0] >= 'A' && line_[0] <= 'Z') {
        e.kind = Event::Command;
        e.text = line_;
    } else {
        e.kind = Event::Malformed;
        e.text = line_;
    }
    line_.clear();
    overlong_ = false;
    // Keeps memory bounded when nobody reads the events.
    if (events_.size() >= 4096) events_.pop_front();
    events_.push_back(e);
}

bool Parser::Next(Event& event)
{
    if (events_.empty()) return false;
    event = events_.front();
    events_.pop_front();
    return true;
}

}  // namespace nalvexa::slcan
