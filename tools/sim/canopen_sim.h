#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "can/can_library.h"

namespace nalvexa::sim {

// A CANopen drive's SDO server (CiA 301): expedited and segmented upload and
// download, and block download, on an object dictionary of byte values.
class CanopenSim {
public:
    CanopenSim();

    bool Option(const std::string& name, const std::string& value);
    // The frames the drive sends in answer to one it received.
    std::vector<CanMessage> OnFrame(const CanMessage& frame);
    std::vector<CanMessage> StrayFrames() const;
    bool silent() const { return silent_; }
    uint8_t node() const { return node_; }

private:
    using Key = std::pair<uint16_t, uint8_t>;
    enum class State { Idle, Upload, Download, Block, BlockEnd };

    std::vector<CanMessage> Sdo(const uint8_t* d);
    CanMessage Answer(std::vector<uint8_t> data) const;
    CanMessage Abort(uint32_t code);
    CanMessage Abort(Key key, uint32_t code);

    std::map<Key, std::vector<uint8_t>> objects_;
    std::set<Key> readOnly_;
    uint8_t node_ = 1;
    uint8_t blockSize_ = 127;
    bool silent_ = false;
    int strays_ = 0;

    State state_ = State::Idle;
    Key key_{};
    std::vector<uint8_t> transfer_;
    size_t position_ = 0;
    uint32_t announced_ = 0;
    uint8_t toggle_ = 0;
    uint8_t lastSequence_ = 0;
};

}  // namespace nalvexa::sim
