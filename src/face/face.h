// SPDX-License-Identifier: MIT
// The one seam between the engine (the protocols, the sockets, the line and
// the bus, on the engine's thread) and a face that shows it (a window, the
// headless shell). Commands go to the engine as values and return at once;
// events come back as values. Nothing else crosses.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "can/can_library.h"
#include "can/lss_identity.h"
#include "platform.h"
#include "server/adapter_offer.h"

namespace nalvexa {

struct LineSettings {
    std::optional<std::string> portName;  // none: the port keeps its name
    int32_t baudRate = 19200;
    uint8_t parity = 0;
    uint8_t stopBits = 0;
};

struct SerialState {
    LineSettings line;
    int32_t retryTimeout = 0;
    int32_t retries = 0;
    bool portOpen = false;
};

struct CanHardware {
    uint16_t interrupt = 7;
    uint32_t portAddress = 0x378;
    uint16_t bitTiming = can::kBtr500k;
    std::string channel;
};

struct CanState {
    CanHardware hardware;
    bool open = false;
    int32_t nodeId = 1;
    int32_t transmitCobId = 0x601;
    int32_t receiveCobId = 0x581;
    bool nmtWarningPending = true;  // the NMT warning is confirmed once a run
};

// What a face shows of the engine; sent whole whenever any of it changes.
struct EngineState {
    std::string title;
    AdapterOffer offer;
    bool listening = false;
    uint32_t port = 0;          // the port it listens on, else the one asked for last
    std::string listenError;    // why the last listen failed
    bool clientConnected = false;
    std::string deviceState;    // "Port open", "CAN channel not open", "Port lost: ..."
    std::optional<SerialState> serial;
    std::optional<CanState> can;
};

enum class NmtCommand { Start, Stop, EnterPreOperational, ResetNode, ResetCommunication };

// Why the driver is to close without the operator's question.
enum class CloseCause { Client, Signal };

// What the engine tells a face, on the engine's thread; a face on another
// thread hands each event on to its own.
class IFace {
public:
    virtual ~IFace() = default;
    virtual void Changed(const EngineState& state) = 0;
    virtual void Message(const std::string& text, Caption caption) = 0;
    // A change of state worth a line in the service's log (a client came or
    // went, a port was lost or reopened); never a message box.
    virtual void Logged(const std::string& line) = 0;
    virtual void TraceLine(const std::string& line) = 0;
    virtual void CloseRequested(CloseCause cause) = 0;
    virtual void IdentityInquired(const LssIdentity& identity) = 0;
    // A frame read for the message test: its library result and, on kOk, the frame.
    virtual void TestFrameRead(uint32_t result, const CanMessage& frame) = 0;
};

// What a face asks of the engine: each is carried out on the engine's
// thread, in order; what comes of it comes back as events.
class IEngine {
public:
    virtual ~IEngine() = default;
    // Listens on `port` (0: the system chooses) and keeps it as the setting.
    virtual void Listen(uint32_t port) = 0;
    virtual void CloseListening() = 0;
    virtual void CloseClient() = 0;
    virtual void SetTimeouts(int32_t retryTimeout, int32_t retries) = 0;
    virtual void SetSerialLine(const LineSettings& line) = 0;
    virtual void OpenPort() = 0;
    virtual void ClosePort() = 0;
    // A command of the adapter's own menu that opens no dialog.
    virtual void RunAdapterCommand(int command) = 0;
    virtual void CanBusOn(const CanHardware& hardware) = 0;
    virtual void CanBusOff() = 0;
    virtual void SetCanIdentifiers(int32_t nodeId, int32_t transmitCobId, int32_t receiveCobId) = 0;
    virtual void Nmt(NmtCommand command) = 0;
    virtual void ChangeBitRate(int kbitPerSecond) = 0;
    virtual void SetNodeId(uint8_t nodeId, std::optional<uint32_t> serialNumber) = 0;
    virtual void InquireIdentity() = 0;
    // While the message test is open every frame on the bus can be read there.
    virtual void HearEverything(bool on) = 0;
    virtual void WriteTestFrame(const CanMessage& frame) = 0;
    virtual void ReadTestFrame() = 0;
    virtual void Trace(bool on) = 0;
    // Saves the settings, hands the client what it is owed, and ends the engine.
    virtual void Close() = 0;
};

}  // namespace nalvexa
