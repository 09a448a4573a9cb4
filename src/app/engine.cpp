// SPDX-License-Identifier: MIT
#include "engine.h"

#include <asio/post.hpp>
#include <cctype>
#include <csignal>
#include <cstdio>

#include "asio_can_watch.h"
#include "can/adapter_can.h"
#include "driver_start.h"
#include "posted_tasks.h"
#include "server/server_settings.h"

namespace nalvexa {

// The trace lines, to the face that shows them.
class Engine::FaceTrace : public ITraceSink {
public:
    explicit FaceTrace(IFace& face) : face_(face) { Trace::Add(this); }
    ~FaceTrace() override { Trace::Remove(this); }
    void write(const std::string& line) override { face_.TraceLine(line); }

private:
    IFace& face_;
};

Engine::Engine(const CommandLine& line, ITextFiles& files)
    : line_(line), files_(files), can_(AsioCanWatch::Factory(io_))
{
    signals_.add(SIGINT);
    signals_.add(SIGTERM);
#ifdef _WIN32
    signals_.add(SIGBREAK);
#else
    signals_.add(SIGHUP);
    signals_.add(SIGQUIT);
#endif
}

Engine::~Engine() = default;

int Engine::Run(IFace& face, const std::function<bool(const Started&)>& go)
{
    face_ = &face;
    const Started started = Start();
    int status = 1;
    if (go(started) && started.failure.empty()) {
        running_ = true;
        WatchSignals();
        io_.run();
        status = 0;
    }
    // The adapter ends while the loop's objects it uses still exist, on the thread that made it.
    faceTrace_.reset();
    server_.reset();
    AdapterHolder::instance().set(nullptr);
    return status;
}

Engine::Started Engine::Start()
{
    Started started;
    ini_ = std::make_unique<IniFile>(ResolveIniPath(line_.iniFile), files_);
    started.failure = OpenSettingsAndTrace(line_, *ini_, traceFile_, *this);
    if (!started.failure.empty()) return started;
    AllowedClients allowed;
    if (std::string why; !allowed.Parse(ReadAllowedClients(*ini_), why)) {
        // Letting everyone in on a typo would open what the list closes.
        started.failure = "cannot read AllowedClients in " + ini_->path() + ": " + why;
        std::fprintf(stderr, "%s\n", started.failure.c_str());
        return started;
    }
    const ChosenAdapter chosen = ChooseAdapter(line_, *ini_);
    started.note = chosen.Note();
    IUserNotifier& notifier = *this;
    AdapterHolder& holder = InstallAdapter(chosen, AdapterContext{timers_, notifier, *ini_, serial_, can_});
    server_ = std::make_unique<ServerSockets>(tcp_, holder, poster_, notifier, timers_);
    server_->SetEvents(this);
    ApplyServerSettings(*ini_, *server_);
    server_->SetAllowedClients(allowed);
    askedPort_ = ReadSocketPort(*ini_);
    server_->Open(askedPort_);
    WriteSocketPort(*ini_, askedPort_);  // written whether or not the port could be opened
    if (!server_->listener().isOpen) listenFailure_ = server_->listener().OpenError();
    started.state = State();
    return started;
}

void Engine::WatchSignals()
{
    // A close request from outside (a terminal, a service manager).
    signals_.async_wait(PostedTasks::After([this](const std::error_code& error, int) {
        if (error) return;
        face_->CloseRequested(CloseCause::Signal);
        WatchSignals();
    }));
}

void Engine::Do(std::function<void()> task)
{
    asio::post(io_, PostedTasks::After([this, task = std::move(task)] {
        if (closed_) return;
        task();
        Publish();
    }));
}

ISerialAdapter* Engine::Serial() const { return dynamic_cast<ISerialAdapter*>(AdapterHolder::instance().adapter()); }

CCANDriver* Engine::Can() const { return dynamic_cast<CCANDriver*>(AdapterHolder::instance().adapter()); }

EngineState Engine::State() const
{
    EngineState s;
    IDriverAdapter* adapter = AdapterHolder::instance().adapter();
    s.title = adapter->GetTitle();
    s.offer = adapter->Offer();
    const ListeningSocket& listener = server_->listener();
    s.listening = listener.isOpen;
    s.port = listener.isOpen ? listener.Port() : askedPort_;
    s.listenError = listenFailure_;
    s.clientConnected = server_->connection().isConnected;
    if (ISerialAdapter* serial = Serial()) {
        SerialState& st = s.serial.emplace();
        st.line.portName = serial->GetPortName();
        st.line.baudRate = serial->GetBaudRate();
        st.line.parity = serial->GetParity();
        st.line.stopBits = serial->GetStopBits();
        st.retryTimeout = serial->GetRetryTimeout();
        st.retries = serial->GetMaxNoOfRetries();
        st.portOpen = serial->IsPortOpen();
        s.deviceState = st.portOpen ? "Port open" : "Port not open";
    }
    if (CCANDriver* can = Can()) {
        CanState& c = s.can.emplace();
        c.hardware = {can->Interrupt, can->PortAddress, can->CANBaudRate, can->Channel};
        c.open = can->driverOpen == 1;
        c.nodeId = can->NodeIdentifier;
        c.transmitCobId = can->SdoTransmitCobId;
        c.receiveCobId = can->SdoReceiveCobId;
        c.nmtWarningPending = can->nmtWarningPending == 1;
        s.deviceState = c.open ? "CAN channel open" : "CAN channel not open";
    }
    if (!stateLine_.empty()) s.deviceState = stateLine_;
    return s;
}

void Engine::Publish()
{
    if (running_ && !closed_) face_->Changed(State());
}

void Engine::CloseWithoutConfirmation()
{
    // After the current event, so that the one-byte answer leaves first.
    poster_.post([this] {
        if (!closed_) face_->CloseRequested(CloseCause::Client);
    });
}

void Engine::message(const std::string& text, Caption caption) { face_->Message(text, caption); }

void Engine::state(const std::string& line)
{
    face_->Logged(line);
    // The port's or the CAN channel's state, as a line of the window.
    if (line.rfind("port ", 0) == 0 || line.rfind("CAN ", 0) == 0) {
        stateLine_ = line;
        stateLine_[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(stateLine_[0])));
        Publish();
    }
}

void Engine::Listen(uint32_t port)
{
    Do([this, port] {
        askedPort_ = port;
        server_->Open(port);
        // What was asked for is kept, also 0, whether or not it could be opened.
        WriteSocketPort(*ini_, port);
        listenFailure_ = server_->listener().isOpen ? "" : server_->listener().OpenError();
    });
}

void Engine::CloseListening()
{
    Do([this] {
        server_->CloseListening();
        listenFailure_.clear();
    });
}

void Engine::CloseClient()
{
    Do([this] { server_->CloseClient(); });
}

void Engine::SetTimeouts(int32_t retryTimeout, int32_t retries)
{
    Do([this, retryTimeout, retries] {
        if (ISerialAdapter* serial = Serial()) {
            serial->SetRetryTimeout(retryTimeout);
            serial->SetMaxNoOfRetries(retries);
        }
    });
}

void Engine::SetSerialLine(const LineSettings& line)
{
    Do([this, line] {
        if (ISerialAdapter* serial = Serial()) {
            if (line.portName) serial->SetPortName(*line.portName);
            serial->SetBaudRate(line.baudRate);
            serial->SetParity(line.parity);
            serial->SetStopBits(line.stopBits);
        }
    });
}

void Engine::OpenPort()
{
    Do([this] {
        stateLine_.clear();
        if (ISerialAdapter* serial = Serial()) serial->OpenPort();
    });
}

void Engine::ClosePort()
{
    Do([this] {
        stateLine_.clear();
        if (ISerialAdapter* serial = Serial()) serial->ClosePort();
    });
}

void Engine::RunAdapterCommand(int command)
{
    Do([command] { AdapterHolder::instance().adapter()->RunCommand(command); });
}

void Engine::CanBusOn(const CanHardware& hw)
{
    Do([this, hw] {
        if (CCANDriver* can = Can()) {
            stateLine_.clear();
            can->Interrupt = hw.interrupt;
            can->CANBaudRate = hw.bitTiming;
            can->PortAddress = hw.portAddress;
            can->Channel = hw.channel;
            can->InitDriver();
        }
    });
}

void Engine::CanBusOff()
{
    Do([this] {
        if (CCANDriver* can = Can()) {
            stateLine_.clear();
            can->DeinitDriver();
        }
    });
}

void Engine::SetCanIdentifiers(int32_t nodeId, int32_t transmitCobId, int32_t receiveCobId)
{
    Do([this, nodeId, transmitCobId, receiveCobId] {
        if (CCANDriver* can = Can()) {
            can->NodeIdentifier = static_cast<uint8_t>(nodeId);
            can->SdoTransmitCobId = transmitCobId;
            can->SdoReceiveCobId = receiveCobId;
        }
    });
}

void Engine::Nmt(NmtCommand command)
{
    Do([this, command] {
        CCANDriver* can = Can();
        if (!can) return;
        can->nmtWarningPending = 0;
        switch (command) {
        case NmtCommand::Start: can->StartRemoteNode(); break;
        case NmtCommand::Stop: can->StopRemoteNode(); break;
        case NmtCommand::EnterPreOperational: can->EnterPreOperationalState(); break;
        case NmtCommand::ResetNode: can->ResetNode(); break;
        case NmtCommand::ResetCommunication: can->ResetCommunications(); break;
        }
    });
}

void Engine::ChangeBitRate(int kbitPerSecond)
{
    Do([this, kbitPerSecond] {
        if (CCANDriver* can = Can()) can->ChangeBitRate(kbitPerSecond, [this](bool) { Publish(); });
    });
}

void Engine::SetNodeId(uint8_t nodeId, std::optional<uint32_t> serialNumber)
{
    Do([this, nodeId, serialNumber] {
        if (CCANDriver* can = Can())
            can->SetNodeId(nodeId, serialNumber ? &*serialNumber : nullptr, [this](bool) { Publish(); });
    });
}

void Engine::InquireIdentity()
{
    Do([this] {
        if (CCANDriver* can = Can())
            can->InquireIdentity(false, [this](const LssIdentity& id, int) {
                if (!closed_) face_->IdentityInquired(id);
            });
    });
}

void Engine::HearEverything(bool on)
{
    Do([this, on] {
        if (CCANDriver* can = Can()) can->SetHearEverything(on);
    });
}

void Engine::WriteTestFrame(const CanMessage& frame)
{
    Do([this, frame] {
        if (CCANDriver* can = Can()) can->WriteTestFrame(frame, "Error executing OnWrite");
    });
}

void Engine::ReadTestFrame()
{
    Do([this] {
        CCANDriver* can = Can();
        if (!can) return;
        CanMessage frame;
        const uint32_t result = can->ReadTestFrame(frame);
        face_->TestFrameRead(result, frame);
    });
}

void Engine::Trace(bool on)
{
    Do([this, on] {
        if (on && !faceTrace_) faceTrace_ = std::make_unique<FaceTrace>(*face_);
        if (!on) faceTrace_.reset();
    });
}

void Engine::Close()
{
    asio::post(io_, PostedTasks::After([this] {
        if (closed_) return;
        closed_ = true;
        AdapterHolder::instance().adapter()->SaveSettings();
        server_->connection().Drain();
        io_.stop();
    }));
}

}  // namespace nalvexa
