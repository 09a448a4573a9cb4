// SPDX-License-Identifier: MIT
#include "server/driver_request.h"

#include <algorithm>

namespace nalvexa {

void DriverRequest::Clear()
{
    kind = Read;
    status = status::kOk;
    address = 0;
    length = 0;
    slIndex1 = 0;
    slIndex2 = 0;
    slIndex3 = 0;
    replySink = nullptr;
}

void DriverRequest::Fill(uint32_t w1, uint32_t w2, uint32_t w3, uint32_t w4, uint32_t w5, IRequestReply* sink)
{
    Clear();
    address = w1;
    length = w2;
    slIndex1 = w3;
    slIndex2 = w4;
    slIndex3 = w5;
    replySink = sink;
}

void DriverRequest::FillRead(uint32_t w1, uint32_t w2, uint32_t w3, uint32_t w4, uint32_t w5,
                             IRequestReply* sink)
{
    Fill(w1, w2, w3, w4, w5, sink);
    kind = Read;
    // The answer carries `length` bytes: what the drive does not fill is zero,
    // never what an earlier request (or client) left here.
    std::fill_n(data.begin(), std::min<size_t>(length, data.size()), uint8_t{0});
}

void DriverRequest::FillWrite(uint32_t w1, uint32_t w2, uint32_t w3, uint32_t w4, uint32_t w5,
                              IRequestReply* sink)
{
    Fill(w1, w2, w3, w4, w5, sink);
    kind = Write;
}

void DriverRequest::FillControl(uint32_t code, uint32_t p1, uint32_t p2, IRequestReply* sink)
{
    Clear();
    slIndex1 = code;
    kind = Control;
    slIndex2 = p1;
    slIndex3 = p2;
    replySink = sink;
}

}  // namespace nalvexa
