// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

#include "stack/message.h"
#include "stack/sum8.h"

namespace nalvexa {

class Tr7100Frame : public FrameOf<Tr7100Frame> {
public:
    static constexpr int32_t kAnswerSize = 6;

    enum Error : uint32_t { kNone = 0, kBadEcho = 1, kBadChecksum = 2, kNoAnswer = 3 };

    uint32_t inbound = 0;
    uint32_t error = kNone;
    uint32_t isWrite = 0;
    uint32_t setBit6 = 0;
    uint8_t command = 0;

    void CopyFrom(const Tr7100Frame& other)
    {
        CopyBytesFrom(other);
        inbound = other.inbound;
        error = other.error;
        isWrite = other.isWrite;
        setBit6 = other.setBit6;
        command = other.command;
    }
    void Clear()
    {
        count = 0;
        error = kNone;
        stop = false;
    }
};

// An answer's checksum test: byte 5 is the sum of bytes 3 and 4, unless bit 7
// of byte 0 marks a write answer, which is checked by its echo alone.
bool Tr7100ChecksumPasses(const Tr7100Frame& answer);

}  // namespace nalvexa
