// SPDX-License-Identifier: MIT
// The few services the core asks of the platform. Everything behind these
// interfaces is replaceable: the loop of the program, fakes and a manual
// clock in tests. Nothing here blocks: the fixed pauses are timers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace nalvexa {

// A one-shot timer; starting it again restarts it.
class ITimer {
public:
    virtual ~ITimer() = default;
    virtual void start(int ms) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
};

class ITimerHost {
public:
    virtual ~ITimerHost() = default;
    // Milliseconds on a monotonic clock.
    virtual int64_t nowMs() const = 0;
    virtual std::unique_ptr<ITimer> createTimer(std::function<void()> onExpiry) = 0;
};

// Defers work to the event loop, after the current event has been handled.
class ITaskPoster {
public:
    virtual ~ITaskPoster() = default;
    virtual void post(std::function<void()> task) = 0;
};

// How a message box is captioned: the window's title with a warning sign, or
// the fixed caption "info" or "Error" with an error sign.
enum class Caption { Title, Info, Error };

// What the core tells its user: message boxes (a window shows them, a
// service logs them; the core never waits for them) and changes of state.
// Questions are a face's own.
class IUserNotifier {
public:
    virtual ~IUserNotifier() = default;
    virtual void message(const std::string& text, Caption caption = Caption::Title) = 0;
    // A change of state worth a line in the service's log (a client came or
    // went, a port was lost or reopened); never a message box.
    virtual void state(const std::string& line) = 0;
};

struct SerialLineSettings {
    int baudRate = 19200;
    uint8_t parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
    uint8_t stopBits = 0;  // 0 one, 1 one and a half, 2 two
    int rtsControl = 0;    // 0 disable, 1 enable, 2 handshake, 3 toggle
    int dtrControl = 0;    // 0 disable, 1 enable, 2 handshake
};

enum class SerialOpenResult { Ok, OpenFailed, QueueFailed, StateFailed, TimeoutsFailed };

// An RS-232 device. Received bytes are handed over on the loop's thread.
class ISerialDevice {
public:
    using BytesArrived = std::function<void(const uint8_t* bytes, int count)>;
    // The device went away (unplugged, hung up, an I/O error): it is closed
    // and told on the loop, never from inside a call of ours.
    using DeviceLost = std::function<void(const std::string& reason)>;
    virtual ~ISerialDevice() = default;
    // On a result other than Ok and OpenFailed the device stays open but
    // receives nothing, like a port whose configuration was refused.
    virtual SerialOpenResult open(const std::string& name, const SerialLineSettings& settings) = 0;
    virtual bool close() = 0;
    virtual bool isOpen() const = 0;
    virtual bool write(const uint8_t* bytes, int count) = 0;
    // Bytes written that the device has not yet put on the line (0 where it
    // cannot tell, as on a pseudo-terminal).
    virtual int unsentBytes() const = 0;
    virtual void setBytesArrived(BytesArrived handler) = 0;
    virtual void setDeviceLost(DeviceLost handler) = 0;
    // Drops what has arrived and was not yet handed over.
    virtual void discardInput() = 0;
    // The device the last failed open tried, and the system's reason:
    // "/dev/ttyUSB0: No such file or directory".
    virtual std::string openError() const = 0;
};

// Whole text files, for the settings. Replacing one keeps what the file is:
// its mode and owner, and the target of a symbolic link; it never leaves a
// partial or temporary file behind.
class ITextFiles {
public:
    enum class ReadResult { Ok, Missing, Failed };
    virtual ~ITextFiles() = default;
    // `reason` says why on Failed (the system's text).
    virtual ReadResult read(const std::string& path, std::string& text, std::string& reason) const = 0;
    virtual bool replace(const std::string& path, const std::string& text, std::string& reason) = 0;
};

// One accepted TCP client. Reading is pulled, so that unread requests stay
// in the platform's buffers (and the peer is slowed by flow control).
class IClientLink {
public:
    virtual ~IClientLink() = default;
    virtual size_t read(uint8_t* into, size_t max) = 0;
    // The peer will send nothing more (it closed, or shut down its sending
    // side): what has been read is all there is.
    virtual bool inputEnded() const = 0;
    // False when the bytes could not be handed to the network. What the
    // network does not take at once is kept and sent later.
    virtual bool send(const uint8_t* bytes, size_t count) = 0;
    // Bytes sent that the network has not taken yet.
    virtual size_t unsentBytes() const = 0;
    virtual int lastError() const = 0;
    virtual bool isConnected() const = 0;
    // "address:port" of the peer.
    virtual std::string peer() const = 0;
    // Why the connection failed ("connection reset by peer", "keepalive
    // time-out"), or empty.
    virtual std::string failure() const = 0;
    // Closes once what is unsent has gone out (or could not).
    virtual void close() = 0;
    // Hands what is still buffered to the network; the program is ending.
    virtual void drain() = 0;
};

class ITcpEvents {
public:
    virtual ~ITcpEvents() = default;
    virtual void onConnectionPending() = 0;
    // Bytes arrived, the peer's input ended, or unsent bytes went out.
    virtual void onClientReadable() = 0;
    virtual void onClientClosed() = 0;
    // A connection from a peer that may not connect was closed as it came.
    virtual void onClientRefused(const std::string& peer) = 0;
};

class ITcpListener {
public:
    virtual ~ITcpListener() = default;
    virtual void setEvents(ITcpEvents* events) = 0;
    // Seconds of silence before a client is probed (then every 2 s, and
    // dropped after 3 unanswered probes); 0: no probes.
    virtual void setKeepAlive(int idleSeconds) = 0;
    // Asked of every connection as it is accepted, by "address:port": one
    // refused is closed at once, before anything is read, and never waits.
    virtual void setAdmission(std::function<bool(const std::string& peer)> admits) = 0;
    // An empty address listens on every local address.
    virtual bool listen(const std::string& bindAddress, uint32_t port) = 0;
    // Why the last listen failed, e.g. "0.0.0.0:12001: Address already in use".
    virtual std::string listenError() const = 0;
    virtual uint32_t listeningPort() const = 0;
    virtual void close() = 0;
    // The oldest connection still waiting to be taken up, or none. Waiting
    // connections whose peer has gone are dropped without a turn.
    virtual std::unique_ptr<IClientLink> takePending() = 0;
};

}  // namespace nalvexa
