// SPDX-License-Identifier: MIT
#include "canopen_sim.h"

#include <algorithm>

#include "../common/hex.h"

namespace nalvexa::sim {

namespace {

constexpr uint32_t kToggleNotAlternated = 0x05030000;
constexpr uint32_t kUnknownCommand = 0x05040001;
constexpr uint32_t kReadOnly = 0x06010002;
constexpr uint32_t kNoSuchObject = 0x06020000;
constexpr uint32_t kLengthMismatch = 0x06070010;
constexpr size_t kMaxValue = 255;

using can::LittleEndian32;

// "IDX/SUB", numbers as 8192 or 0x2000.
bool ParseKey(const std::string& text, std::pair<uint16_t, uint8_t>& key)
{
    size_t slash = text.find('/');
    if (slash == std::string::npos) return false;
    key = {static_cast<uint16_t>(std::stoul(text.substr(0, slash), nullptr, 0)),
           static_cast<uint8_t>(std::stoul(text.substr(slash + 1), nullptr, 0))};
    return true;
}

}  // namespace

CanopenSim::CanopenSim()
{
    objects_[{0x1000, 0}] = {0x92, 0x01, 0x02, 0x00};  // device type
    const std::string name = "nalvexa-sim";
    objects_[{0x1008, 0}] = std::vector<uint8_t>(name.begin(), name.end());
    readOnly_ = {{0x1000, 0}, {0x1008, 0}};
    objects_[{0x2000, 1}] = {0x11, 0x22};
    objects_[{0x2000, 2}] = {0x33, 0x44, 0x55, 0x66};
    objects_[{0x2000, 3}] = {0x77};
    objects_[{0x3007, 1}] = std::vector<uint8_t>(64, 0);
}

bool CanopenSim::Option(const std::string& name, const std::string& value)
{
    Key key;
    if (name == "silent") silent_ = true;
    else if (name == "stall") stallAfter_ = std::stoi(value);
    else if (name == "node") node_ = static_cast<uint8_t>(std::stoul(value, nullptr, 0));
    else if (name == "blksize") blockSize_ = static_cast<uint8_t>(std::clamp<unsigned long>(std::stoul(value, nullptr, 0), 1, 127));
    else if (name == "stray") strays_ = value.empty() ? 1 : std::stoi(value);
    else if (name == "set") {
        size_t eq = value.find('=');
        std::vector<uint8_t> bytes;
        if (eq == std::string::npos || !ParseKey(value.substr(0, eq), key) || !FromHex(value.substr(eq + 1), bytes) ||
            bytes.empty() || bytes.size() > kMaxValue)
            return false;
        objects_[key] = bytes;
    } else if (name == "fill") {
        // IDX/SUB=N: N bytes 0, 1, 2, ... (any size, for long uploads)
        size_t eq = value.find('=');
        if (eq == std::string::npos || !ParseKey(value.substr(0, eq), key)) return false;
        std::vector<uint8_t> bytes(std::stoul(value.substr(eq + 1), nullptr, 0));
        if (bytes.empty() || bytes.size() > 1000000) return false;
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i);
        objects_[key] = bytes;
    } else if (name == "identity") {
        // V/P/R/S: vendor-ID, product code, revision number, serial number
        size_t at = 0;
        for (int i = 0; i < 4; ++i) {
            size_t slash = value.find('/', at);
            if ((slash == std::string::npos) != (i == 3)) return false;
            identity_[i] = static_cast<uint32_t>(std::stoul(value.substr(at, slash - at), nullptr, 0));
            at = slash + 1;
        }
    } else if (name == "unconfigured") {
        node_ = 0xFF;  // no node-ID until LSS gives it one: no SDO server meanwhile
    } else if (name == "node-id-error") {
        nodeIdError_ = std::stoi(value, nullptr, 0);
    } else if (name == "read-only") {
        if (!ParseKey(value, key)) return false;
        readOnly_.insert(key);
    } else return false;
    return true;
}

CanMessage CanopenSim::Answer(std::vector<uint8_t> data) const
{
    CanMessage m;
    m.id = 0x580u + node_;
    m.length = 8;
    data.resize(8, 0);
    std::copy(data.begin(), data.end(), m.data);
    return m;
}

CanMessage CanopenSim::Abort(Key key, uint32_t code)
{
    state_ = State::Idle;
    return Answer({0x80, static_cast<uint8_t>(key.first), static_cast<uint8_t>(key.first >> 8), key.second,
                   static_cast<uint8_t>(code), static_cast<uint8_t>(code >> 8), static_cast<uint8_t>(code >> 16),
                   static_cast<uint8_t>(code >> 24)});
}

CanMessage CanopenSim::Abort(uint32_t code) { return Abort(key_, code); }

std::vector<CanMessage> CanopenSim::StrayFrames() const
{
    std::vector<CanMessage> frames;
    if (state_ != State::Idle) return frames;  // only between transfers
    for (int i = 0; i < strays_; ++i) {
        CanMessage m;
        m.id = 0x123;
        m.length = 8;
        m.data[0] = 0x80;  // would read as an abort if it were taken for an answer
        frames.push_back(m);
    }
    return frames;
}

std::vector<CanMessage> CanopenSim::OnFrame(const CanMessage& frame)
{
    if (silent_) return {};
    // Falls silent in the middle of things.
    if (stallAfter_ >= 0 && answered_ >= stallAfter_ && frame.id == 0x600u + node_) return {};
    if (frame.id == 0x600u + node_) ++answered_;
    if (frame.id == 0x000 && frame.length == 2) {
        Nmt(frame.data);
        return {};
    }
    if (frame.id == 0x7E5 && frame.length == 8) return Lss(frame.data);
    if (frame.id != 0x600u + node_ || frame.length != 8) return {};
    return Sdo(frame.data);
}

void CanopenSim::Nmt(const uint8_t* d)
{
    if (d[1] != 0 && d[1] != node_) return;
    switch (d[0]) {
    case 0x01: nmtState_ = "operational"; break;
    case 0x02: nmtState_ = "stopped"; break;
    case 0x80: nmtState_ = "pre-operational"; break;
    case 0x81: nmtState_ = "pre-operational (node reset)"; break;
    case 0x82: nmtState_ = "pre-operational (communication reset)"; break;
    default: log("nmt unknown command " + ToHex(d, 2)); return;
    }
    log("nmt " + nmtState_);
}

CanMessage CanopenSim::LssAnswer(std::vector<uint8_t> data) const
{
    CanMessage m = Answer(std::move(data));
    m.id = 0x7E4;
    return m;
}

std::vector<CanMessage> CanopenSim::Lss(const uint8_t* d)
{
    static constexpr int kRates[] = {1000, 800, 500, 250, 125, 0, 50, 20, 10};
    const uint8_t cs = d[0];
    if (cs == 0x04) {
        lssConfiguration_ = d[1] == 0x01;
        log(lssConfiguration_ ? "lss configuration mode" : "lss waiting mode");
        if (!lssConfiguration_ && pendingNodeId_ >= 0) {
            node_ = static_cast<uint8_t>(pendingNodeId_);
            pendingNodeId_ = -1;
            log("node-ID " + std::to_string(node_));
        }
        return {};
    }
    if (cs >= 0x40 && cs <= 0x42) {
        // The selective switch names the vendor, product and revision first.
        if (cs == 0x40) selectiveMatched_ = 0;
        if (LittleEndian32(d + 1) == identity_[cs - 0x40]) selectiveMatched_ |= static_cast<uint8_t>(1 << (cs - 0x40));
        return {};
    }
    if (cs == 0x43) {
        const uint32_t serial = LittleEndian32(d + 1);
        // The serial alone, or the whole identity when the other parts came first.
        const bool others = selectiveMatched_ == 0 || selectiveMatched_ == 7;
        selectiveMatched_ = 0;
        if (serial != identity_[3] || !others) return {};
        lssConfiguration_ = true;
        log("lss configuration mode (selective)");
        return {LssAnswer({0x44})};
    }
    if (cs == 0x51) {
        // Fastscan: only a drive without a node-ID takes part, while it waits.
        if (node_ != 0xFF || lssConfiguration_) return {};
        const uint32_t id = LittleEndian32(d + 1);
        const uint8_t bit = d[5], part = d[6], next = d[7];
        if (bit == 0x80) {
            fastscanPart_ = 0;
            return {LssAnswer({0x4F})};
        }
        if (bit > 31 || part != fastscanPart_ || part > 3) return {};
        const uint32_t mask = bit == 0 ? 0xFFFFFFFFu : ~((1u << bit) - 1);
        if ((identity_[part] ^ id) & mask) return {};
        if (bit == 0) {
            fastscanPart_ = next;
            if (part == 3 && next == 0) {
                lssConfiguration_ = true;
                log("lss configuration mode (fastscan)");
            }
        }
        return {LssAnswer({0x4F})};
    }
    if (!lssConfiguration_) return {};  // the other services answer only in configuration mode
    switch (cs) {
    case 0x11: {
        const uint8_t id = d[1];
        uint8_t error = nodeIdError_ ? static_cast<uint8_t>(nodeIdError_) : (id >= 1 && id <= 127) ? 0 : 1;
        if (error == 0) pendingNodeId_ = id;
        log("lss configure node-ID " + std::to_string(id) + (error ? " refused" : ""));
        return {LssAnswer({0x11, error})};
    }
    case 0x13: {
        const bool known = d[1] == 0 && d[2] < 9 && kRates[d[2]] != 0;
        if (known) pendingRateIndex_ = d[2];
        log("lss configure bit timing " + (known ? std::to_string(kRates[d[2]]) + " kbit/s" : "refused"));
        return {LssAnswer({0x13, static_cast<uint8_t>(known ? 0 : 1)})};
    }
    case 0x15:
        log("lss activate bit timing " +
            (pendingRateIndex_ >= 0 ? std::to_string(kRates[pendingRateIndex_]) + " kbit/s" : "unchanged") +
            " after " + std::to_string(d[1] | d[2] << 8) + " ms");
        return {};
    case 0x17: log("lss store"); return {LssAnswer({0x17, 0x00})};
    case 0x5E: return {LssAnswer({0x5E, node_})};
    case 0x5A:
    case 0x5B:
    case 0x5C:
    case 0x5D: {
        const uint32_t v = identity_[cs - 0x5A];
        return {LssAnswer({cs, static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                           static_cast<uint8_t>(v >> 24)})};
    }
    default: return {};
    }
}

std::vector<CanMessage> CanopenSim::Sdo(const uint8_t* d)
{
    const uint8_t command = d[0];
    const Key key{static_cast<uint16_t>(d[1] | d[2] << 8), d[3]};
    const uint8_t ccs = command >> 5;

    if (command == 0x80) {  // the client aborts
        state_ = State::Idle;
        return {};
    }
    if (state_ == State::Block) {
        // Block segments: the sequence number, bit 7 on the last segment of the transfer.
        const uint8_t sequence = command & 0x7F;
        if (sequence != lastSequence_ + 1) return {Abort(0x05040003)};
        lastSequence_ = sequence;
        transfer_.insert(transfer_.end(), d + 1, d + 8);
        const bool last = command & 0x80;
        if (!last && sequence < blockSize_) return {};
        state_ = last ? State::BlockEnd : State::Block;
        uint8_t acknowledged = lastSequence_;
        lastSequence_ = 0;
        return {Answer({0xA2, acknowledged, blockSize_})};
    }
    if (state_ == State::BlockEnd && ccs == 6 && (command & 0x01)) {
        size_t unused = (command >> 2) & 7;
        transfer_.resize(transfer_.size() - std::min(unused, transfer_.size()));
        if (announced_ && transfer_.size() > announced_) transfer_.resize(announced_);
        objects_[key_] = transfer_;
        state_ = State::Idle;
        return {Answer({0xA1})};
    }

    switch (ccs) {
    case 2: {  // initiate upload
        key_ = key;
        auto found = objects_.find(key);
        if (found == objects_.end()) return {Abort(kNoSuchObject)};
        const std::vector<uint8_t>& v = found->second;
        if (v.size() <= 4) {
            std::vector<uint8_t> a = {static_cast<uint8_t>(0x43 | ((4 - v.size()) << 2)), d[1], d[2], d[3]};
            a.insert(a.end(), v.begin(), v.end());
            state_ = State::Idle;
            return {Answer(a)};
        }
        transfer_ = v;
        position_ = 0;
        toggle_ = 0;
        state_ = State::Upload;
        const uint32_t size = static_cast<uint32_t>(v.size());
        return {Answer({0x41, d[1], d[2], d[3], static_cast<uint8_t>(size), static_cast<uint8_t>(size >> 8), 0, 0})};
    }
    case 3: {  // upload segment
        if (state_ != State::Upload) return {Abort(kUnknownCommand)};
        if (((command >> 4) & 1) != toggle_) return {Abort(kToggleNotAlternated)};
        const size_t k = std::min<size_t>(7, transfer_.size() - position_);
        const bool last = position_ + k == transfer_.size();
        std::vector<uint8_t> a = {static_cast<uint8_t>(toggle_ << 4 | (7 - k) << 1 | (last ? 1 : 0))};
        a.insert(a.end(), transfer_.begin() + static_cast<long>(position_), transfer_.begin() + static_cast<long>(position_ + k));
        position_ += k;
        toggle_ ^= 1;
        if (last) state_ = State::Idle;
        return {Answer(a)};
    }
    case 1: {  // initiate download
        key_ = key;
        if (!objects_.count(key)) return {Abort(kNoSuchObject)};
        if (readOnly_.count(key)) return {Abort(kReadOnly)};
        if (command & 0x02) {  // expedited
            size_t n = (command & 0x01) ? 4 - ((command >> 2) & 3) : 4;
            objects_[key].assign(d + 4, d + 4 + n);
            state_ = State::Idle;
        } else {
            announced_ = (command & 0x01) ? LittleEndian32(d + 4) : 0;
            if (announced_ > kMaxValue) return {Abort(kLengthMismatch)};
            transfer_.clear();
            toggle_ = 0;
            state_ = State::Download;
        }
        return {Answer({0x60, d[1], d[2], d[3]})};
    }
    case 0: {  // download segment
        if (state_ != State::Download) return {Abort(kUnknownCommand)};
        if (((command >> 4) & 1) != toggle_) return {Abort(kToggleNotAlternated)};
        const size_t k = 7 - ((command >> 1) & 7);
        transfer_.insert(transfer_.end(), d + 1, d + 1 + k);
        const uint8_t answer = static_cast<uint8_t>(0x20 | toggle_ << 4);
        toggle_ ^= 1;
        if (transfer_.size() > kMaxValue) return {Abort(kLengthMismatch)};
        if (command & 0x01) {
            if (announced_ && transfer_.size() != announced_) return {Abort(kLengthMismatch)};
            objects_[key_] = transfer_;
            state_ = State::Idle;
        }
        return {Answer({answer})};
    }
    case 6: {  // initiate block download
        if (command & 0x01) return {Abort(key, kUnknownCommand)};  // an end without a block
        key_ = key;
        if (!objects_.count(key)) return {Abort(kNoSuchObject)};
        if (readOnly_.count(key)) return {Abort(kReadOnly)};
        announced_ = (command & 0x02) ? LittleEndian32(d + 4) : 0;
        transfer_.clear();
        lastSequence_ = 0;
        state_ = State::Block;
        return {Answer({0xA0, d[1], d[2], d[3], blockSize_})};
    }
    default: return {Abort(key, kUnknownCommand)};
    }
}

}  // namespace nalvexa::sim
