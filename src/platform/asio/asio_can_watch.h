// SPDX-License-Identifier: MIT
#pragma once

#include <asio/io_context.hpp>
#include <memory>

#include "can_ready_watch.h"

namespace nalvexa {

// The watch of a CAN back end's device on an Asio loop: a descriptor that
// becomes readable (Linux), an event that is signalled (Windows).
class AsioCanWatch : public ICanReadyWatch {
public:
    explicit AsioCanWatch(asio::io_context& io);
    ~AsioCanWatch() override;
    void Watch(ReadyHandle handle, std::function<void()> ready) override;

    static CanReadyWatchFactory Factory(asio::io_context& io)
    {
        return [&io] { return std::make_unique<AsioCanWatch>(io); };
    }

private:
    class Waiter;  // per system
    void Arm();

    asio::io_context& io_;
    std::unique_ptr<Waiter> waiter_;
    std::function<void()> ready_;
    uint64_t watched_ = 0;  // which handle a wait belongs to
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace nalvexa
