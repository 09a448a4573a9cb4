// SPDX-License-Identifier: MIT
#include "asio_serial_device.h"

#include <asio/post.hpp>
#include <functional>

#ifdef _WIN32
#include <asio/windows/object_handle.hpp>
#else
#include <asio/posix/stream_descriptor.hpp>
#endif

namespace nalvexa {

#ifdef _WIN32
// The line's read-ahead event: signalled when the system has bytes for us.
class AsioSerialDevice::Watch {
public:
    Watch(asio::io_context& io, SerialLine& line) : line_(line), event_(io, line.ArmReadEvent()) {}
    ~Watch()
    {
        std::error_code ignored;
        event_.cancel(ignored);
        event_.release(ignored);  // the line owns the event
    }
    void Wait(std::function<void()> onReadable)
    {
        if (!line_.ArmReadEvent()) return;
        event_.async_wait([onReadable = std::move(onReadable)](const std::error_code& error) {
            if (!error) onReadable();
        });
    }

private:
    SerialLine& line_;
    asio::windows::object_handle event_;
};
#else
// Readiness of the line's descriptor, which stays the line's.
class AsioSerialDevice::Watch {
public:
    Watch(asio::io_context& io, SerialLine& line) : descriptor_(io, line.fd()) {}
    ~Watch()
    {
        std::error_code ignored;
        descriptor_.cancel(ignored);
        descriptor_.release();
    }
    void Wait(std::function<void()> onReadable)
    {
        descriptor_.async_wait(asio::posix::stream_descriptor::wait_read,
                               [onReadable = std::move(onReadable)](const std::error_code& error) {
                                   if (!error) onReadable();
                               });
    }

private:
    asio::posix::stream_descriptor descriptor_;
};
#endif

AsioSerialDevice::AsioSerialDevice(asio::io_context& io) : io_(io) {}

AsioSerialDevice::~AsioSerialDevice()
{
    *alive_ = false;
    close();
}

SerialOpenResult AsioSerialDevice::open(const std::string& name, const SerialLineSettings& settings)
{
    close();
    const SerialOpenResult result = line_.Open(name, settings, openError_);
    if (!line_.isOpen()) return result;
    receiving_ = result == SerialOpenResult::Ok;
    watch_ = std::make_unique<Watch>(io_, line_);
    ++opened_;
    WatchLine();
    return result;
}

bool AsioSerialDevice::close()
{
    watch_.reset();
    line_.Close();
    receiving_ = false;
    return true;
}

bool AsioSerialDevice::write(const uint8_t* bytes, int count)
{
    std::string reason;
    if (line_.Write(bytes, static_cast<size_t>(count), reason)) return true;
    if (line_.isOpen() && reason != SerialLine::kFull) Lost(reason);
    return false;
}

void AsioSerialDevice::WatchLine()
{
    watch_->Wait([this, alive = alive_, opened = opened_] {
        if (*alive && opened == opened_) OnReadable();
    });
}

void AsioSerialDevice::OnReadable()
{
    const uint64_t opened = opened_;
    uint8_t buffer[1000];
    for (int rounds = 0; rounds < 64 && line_.isOpen(); ++rounds) {
        std::string reason;
        const long n = line_.Read(buffer, sizeof buffer, reason);
        if (n < 0) {
            Lost(reason);
            return;
        }
        if (n == 0) break;
        if (receiving_ && handler_) handler_(buffer, static_cast<int>(n));
    }
    // A handler may have closed the device (or opened it again, which watches it anew).
    if (opened == opened_ && watch_ && line_.isOpen()) WatchLine();
}

void AsioSerialDevice::Lost(const std::string& reason)
{
    close();
    // Later, on the loop: this may come from inside a write of ours.
    asio::post(io_, [this, alive = alive_, reason] {
        if (*alive && lost_) lost_(reason);
    });
}

}  // namespace nalvexa
