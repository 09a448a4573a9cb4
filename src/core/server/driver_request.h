// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstdint>

#include "server/statuses.h"

namespace nalvexa {

constexpr uint32_t kRequestDataSize = 35000;

enum RequestKind : uint32_t { Read = 0, Write = 1, Control = 2 };

class IRequestReply;

// The record one client request is parsed into and answered from. It is
// reused for every request of a connection; a read starts with `length`
// zero bytes in `data`.
class DriverRequest {
public:
    virtual ~DriverRequest() = default;

    uint32_t kind = Read;
    int32_t status = 0;
    uint32_t address = 0;
    uint32_t length = 0;
    uint32_t slIndex1 = 0;
    uint32_t slIndex2 = 0;
    uint32_t slIndex3 = 0;
    std::array<uint8_t, kRequestDataSize> data{};
    IRequestReply* replySink = nullptr;

    void Clear();
    void FillRead(uint32_t w1, uint32_t w2, uint32_t w3, uint32_t w4, uint32_t w5, IRequestReply* sink);
    void FillWrite(uint32_t w1, uint32_t w2, uint32_t w3, uint32_t w4, uint32_t w5, IRequestReply* sink);
    void FillControl(uint32_t code, uint32_t p1, uint32_t p2, IRequestReply* sink);

private:
    void Fill(uint32_t w1, uint32_t w2, uint32_t w3, uint32_t w4, uint32_t w5, IRequestReply* sink);
};

}  // namespace nalvexa
