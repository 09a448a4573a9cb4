// SPDX-License-Identifier: MIT
// How a CAN back end is told on the loop that its device has something to
// read: the loop watches the device's descriptor (a socket or a serial line;
// on Windows the event of a COM port's wait for received characters).
#pragma once

#include <functional>
#include <memory>

namespace nalvexa {

#ifdef _WIN32
using ReadyHandle = void*;  // an event the watch owns and closes
#else
using ReadyHandle = int;  // a descriptor the back end keeps
#endif

class ICanReadyWatch {
public:
    virtual ~ICanReadyWatch() = default;
    // Runs `ready` on the loop each time `handle` signals, until destroyed.
    // `ready` reads all there is: the watch is told of new arrivals only.
    virtual void Watch(ReadyHandle handle, std::function<void()> ready) = 0;
};

// Makes the loop's watches; empty for a program without a loop.
using CanReadyWatchFactory = std::function<std::unique_ptr<ICanReadyWatch>()>;

}  // namespace nalvexa
