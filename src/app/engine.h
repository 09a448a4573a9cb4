// SPDX-License-Identifier: MIT
#pragma once

#include <asio/io_context.hpp>
#include <asio/signal_set.hpp>
#include <functional>
#include <memory>
#include <string>

#include "asio_serial_device.h"
#include "asio_services.h"
#include "asio_tcp_listener.h"
#include "channel_can_library.h"
#include "command_line.h"
#include "face.h"
#include "server/server_events.h"
#include "server/server_sockets.h"
#include "settings/ini_file.h"
#include "trace_file.h"

namespace nalvexa {

class CCANDriver;
class ISerialAdapter;
class ITextFiles;

// The driver without a face: the settings, the adapter, the server, the
// line or the bus, on one Asio loop. Everything of it runs on the thread
// that calls Run (and, before that, on the thread that made it); the
// commands of IEngine may come from any thread and are carried out there.
class Engine : public IEngine, private IServerEvents, private IUserNotifier {
public:
    Engine(const CommandLine& line, ITextFiles& files);
    ~Engine() override;

    struct Started {
        std::string failure;  // the settings file or the trace could not be opened: the program ends with 1
        std::string note;     // the line printed after the title when the keyword named no adapter
        EngineState state;
    };
    // On the calling thread, all of it: the settings, the trace, the adapter
    // and the listening socket; then `go` is told how that went, and when it
    // says so the loop runs until Close. The adapter ends here too. Returns
    // the exit status.
    int Run(IFace& face, const std::function<bool(const Started&)>& go);

    void Listen(uint32_t port) override;
    void CloseListening() override;
    void CloseClient() override;
    void SetTimeouts(int32_t retryTimeout, int32_t retries) override;
    void SetSerialLine(const LineSettings& line) override;
    void OpenPort() override;
    void ClosePort() override;
    void RunAdapterCommand(int command) override;
    void CanBusOn(const CanHardware& hardware) override;
    void CanBusOff() override;
    void SetCanIdentifiers(int32_t nodeId, int32_t transmitCobId, int32_t receiveCobId) override;
    void Nmt(NmtCommand command) override;
    void ChangeBitRate(int kbitPerSecond) override;
    void SetNodeId(uint8_t nodeId, std::optional<uint32_t> serialNumber) override;
    void InquireIdentity() override;
    void HearEverything(bool on) override;
    void WriteTestFrame(const CanMessage& frame) override;
    void ReadTestFrame() override;
    void Trace(bool on) override;
    void Close() override;

private:
    class FaceTrace;

    Started Start();
    // On the loop, then the new state to the face.
    void Do(std::function<void()> task);
    EngineState State() const;
    void Publish();
    void WatchSignals();
    ISerialAdapter* Serial() const;
    CCANDriver* Can() const;

    // IServerEvents
    void Refresh() override { Publish(); }
    void CloseWithoutConfirmation() override;
    // IUserNotifier: the engine's boxes and state lines go to the face.
    void message(const std::string& text, Caption caption) override;
    void state(const std::string& line) override;

    CommandLine line_;
    ITextFiles& files_;
    IFace* face_ = nullptr;
    asio::io_context io_{1};
    AsioTimerHost timers_{io_};
    AsioTaskPoster poster_{io_};
    AsioSerialDevice serial_{io_};
    AsioTcpListener tcp_{io_};
    ChannelCanLibrary can_;
    asio::signal_set signals_{io_};
    std::unique_ptr<IniFile> ini_;
    TraceFile traceFile_;
    std::unique_ptr<FaceTrace> faceTrace_;
    std::unique_ptr<ServerSockets> server_;
    std::string stateLine_;  // the last line of the device's state, until a command changes it
    std::string listenFailure_;
    uint32_t askedPort_ = 0;
    bool running_ = false, closed_ = false;
};

}  // namespace nalvexa
