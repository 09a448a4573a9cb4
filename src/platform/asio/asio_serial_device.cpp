// SPDX-License-Identifier: MIT
#include "asio_serial_device.h"

#include <functional>

#include "posted_tasks.h"

#ifdef _WIN32
#include <asio/post.hpp>
#include <asio/windows/object_handle.hpp>
#else
#include <asio/posix/stream_descriptor.hpp>
#endif

namespace nalvexa {

using ReadDone = std::function<void(const std::error_code&, size_t)>;

#ifdef _WIN32
// What the device holds is read at once; otherwise the loop waits for the
// device's "character received" event, then reads.
class AsioSerialDevice::Reader {
public:
    Reader(asio::io_context& io, SerialLine& line) : io_(io), line_(line), event_(io, line.DuplicateRxEvent()) {}
    ~Reader()
    {
        std::error_code ignored;
        event_.cancel(ignored);
    }
    void Read(uint8_t* into, size_t max, ReadDone done)
    {
        DWORD error = 0;
        const long n = line_.ReadAvailable(into, max, error);
        if (n != 0 || !line_.ArmRxWait(error)) {
            const std::error_code code(n < 0 || n == 0 ? static_cast<int>(error) : 0, std::system_category());
            asio::post(io_, [done = std::move(done), code, n] { done(code, n > 0 ? static_cast<size_t>(n) : 0); });
            return;
        }
        event_.async_wait([this, into, max, done = std::move(done)](const std::error_code& e) mutable {
            if (e) {
                done(e, 0);
                return;
            }
            Read(into, max, std::move(done));
        });
    }

private:
    asio::io_context& io_;
    SerialLine& line_;
    asio::windows::object_handle event_;
};
#else
// Reads by the loop on the line's descriptor, which stays the line's. Once a
// read has found all there was, the next is not tried before the system says
// there is more: no call is spent on finding nothing.
class AsioSerialDevice::Reader {
public:
    Reader(asio::io_context& io, SerialLine& line) : descriptor_(io, line.fd()) {}
    ~Reader()
    {
        std::error_code ignored;
        descriptor_.cancel(ignored);
        descriptor_.release();
    }
    void Read(uint8_t* into, size_t max, ReadDone done)
    {
        descriptor_.async_read_some(asio::buffer(into, max), std::move(done));
    }

private:
    asio::posix::stream_descriptor descriptor_;
};
#endif

AsioSerialDevice::AsioSerialDevice(asio::io_context& io) : io_(io) {}

AsioSerialDevice::~AsioSerialDevice()
{
    Ending();
    close();
}

void AsioSerialDevice::StartReading()
{
    reader_ = std::make_unique<Reader>(io_, line_);
    ++opened_;
    ReadNext();
}

void AsioSerialDevice::StopReading() { reader_.reset(); }

void AsioSerialDevice::Later(std::function<void()> task) { PostedTasks::Add(io_, std::move(task)); }

void AsioSerialDevice::ReadNext()
{
    reader_->Read(buffer_, sizeof buffer_,
                  PostedTasks::After([this, alive = alive_, opened = opened_](const std::error_code& error, size_t n) {
                      // A read of an earlier opening (or of a closed device) ends here.
                      if (*alive && opened == opened_ && reader_) Arrived(error, n);
                  }));
}

void AsioSerialDevice::Arrived(const std::error_code& error, size_t count)
{
    if (error == asio::error::operation_aborted) return;
    if (error == asio::error::eof) {
        // The end of a terminal's input is its hang-up; anything else was a wake-up for nothing.
        if (line_.HungUp()) {
            Lost(line_.FailureReason(0));
            return;
        }
    } else if (error) {
        Lost(line_.FailureReason(error.value()));
        return;
    } else {
        const uint64_t opened = opened_;
        Deliver(buffer_, static_cast<int>(count));
        if (opened != opened_ || !reader_) return;  // the handler closed the device (or opened it again)
    }
    ReadNext();
}

}  // namespace nalvexa
