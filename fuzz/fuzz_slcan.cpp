// SPDX-License-Identifier: MIT
// Whatever an slcan adapter might send.
#include <cstdlib>

#include "can/slcan_codec.h"

using namespace nalvexa;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    slcan::Parser parser;
    // In two pieces, to cross line boundaries.
    size_t half = size ? data[0] % (size + 1) : 0;
    parser.Feed(data, half);
    parser.Feed(data + half, size - half);
    slcan::Event e;
    while (parser.Next(e)) {
        if (e.kind != slcan::Event::Frame) continue;
        if (e.frame.length > 8) std::abort();
        // A frame we read is one we would write the same way.
        std::string again = slcan::EncodeFrame(e.frame);
        slcan::Parser check;
        check.Feed(reinterpret_cast<const uint8_t*>(again.data()), again.size());
        slcan::Event f;
        if (!check.Next(f) || f.kind != slcan::Event::Frame || f.frame.id != e.frame.id ||
            f.frame.length != e.frame.length)
            if (!(e.frame.type & 1)) std::abort();
    }
    return 0;
}
