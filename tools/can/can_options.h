// SPDX-License-Identifier: MIT
// The command line of nalvexa-can.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace nalvexa::cantool {

struct Options {
    std::optional<std::string> channel;  // unset: the settings file's
    std::optional<int> kbit;             // --bitrate
    std::optional<int> node;             // --node
    int timeoutMs = 1000;
    std::string iniFile;
    bool raw = false;
    bool help = false;
    bool version = false;
    std::optional<std::vector<uint32_t>> identity;  // --identity V P R S
    std::vector<std::string> command;               // the command and its arguments
    std::string error;                              // a usage error
};

Options ParseOptions(const std::vector<std::string>& args);

// A command checked before the bus is touched.
struct Command {
    enum Kind { SdoRead, SdoWrite, Nmt, LssInquire, LssSetNodeId, LssSetBitRate, LssScan, Scan } kind = Scan;
    uint16_t index = 0;
    uint8_t subIndex = 0;
    std::vector<uint8_t> bytes;  // sdo write
    uint8_t nmtCommand = 0;      // nmt: the command specifier
    std::optional<int> nmtNode;  // nmt: 0 for all; unset: --node
    int newNodeId = 0;           // lss set-node-id
    int kbit = 0;                // lss set-bitrate
};

// The command, or a usage error in `error`.
Command ParseCommand(const Options& options, std::string& error);

// "500k", "1M", "125000": one of the rates CANopen drives offer, in kbit/s; 0 otherwise.
int ParseBitRate(const std::string& text);
// Decimal or 0x-hex, within [low, high].
bool ParseNumber(const std::string& text, uint32_t low, uint32_t high, uint32_t& value);
// Hex with or without 0x (object dictionary indices and sub-indices), up to `high`.
bool ParseHex(const std::string& text, uint32_t high, uint32_t& value);

extern const char* const kUsage;

}  // namespace nalvexa::cantool
