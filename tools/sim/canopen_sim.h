// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "can/can_library.h"

namespace nalvexa::sim {

// A CANopen drive: its SDO server (CiA 301: expedited and segmented upload
// and download, block download) on an object dictionary of byte values, its
// NMT state, and an LSS slave (CiA 305) with a configurable identity.
class CanopenSim {
public:
    CanopenSim();

    std::function<void(const std::string&)> log = [](const std::string&) {};

    bool Option(const std::string& name, const std::string& value);
    // The frames the drive sends in answer to one it received.
    std::vector<CanMessage> OnFrame(const CanMessage& frame);
    std::vector<CanMessage> StrayFrames() const;
    // Gives up the transfer in progress: the abort names its object.
    CanMessage AbortTransfer(uint32_t code) { return Abort(code); }
    bool silent() const { return silent_; }
    uint8_t node() const { return node_; }

private:
    using Key = std::pair<uint16_t, uint8_t>;
    enum class State { Idle, Upload, Download, Block, BlockEnd };

    std::vector<CanMessage> Sdo(const uint8_t* d);
    void Nmt(const uint8_t* d);
    std::vector<CanMessage> Lss(const uint8_t* d);
    CanMessage LssAnswer(std::vector<uint8_t> data) const;
    CanMessage Answer(std::vector<uint8_t> data) const;
    CanMessage Abort(uint32_t code);
    CanMessage Abort(Key key, uint32_t code);

    std::map<Key, std::vector<uint8_t>> objects_;
    std::set<Key> readOnly_;
    uint8_t node_ = 1;
    uint8_t blockSize_ = 127;
    bool silent_ = false;
    int stallAfter_ = -1;  // SDO frames answered before it falls silent (-1: never)
    int answered_ = 0;
    int strays_ = 0;

    uint32_t identity_[4] = {0x0000ABCD, 0x00001234, 0x00010002, 0x12345678};  // vendor, product, revision, serial
    bool lssConfiguration_ = false;
    int pendingNodeId_ = -1;
    int pendingRateIndex_ = -1;
    int nodeIdError_ = 0;
    int fastscanPart_ = 0;       // the part of the identity the next fastscan checks
    uint8_t selectiveMatched_ = 0;  // which parts of a selective switch matched so far
    std::string nmtState_ = "pre-operational";

    State state_ = State::Idle;
    Key key_{};
    std::vector<uint8_t> transfer_;
    size_t position_ = 0;
    uint32_t announced_ = 0;
    uint8_t toggle_ = 0;
    uint8_t lastSequence_ = 0;
};

}  // namespace nalvexa::sim
