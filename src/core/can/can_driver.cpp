// SPDX-License-Identifier: MIT
#include "can/can_driver.h"

#include <algorithm>
#include <utility>

#include "can/can_procedure.h"
#include "can/lss_frames.h"
#include "trace/trace.h"

namespace nalvexa {

namespace {

constexpr const char* kSection = "CAN";
constexpr int kLongestPollMs = 8192;

// A back end's reason names its device first; the channel has named it already.
std::string WithoutDevice(const std::string& reason, const std::string& channel)
{
    const size_t colon = reason.find(": ");
    if (colon == 0 || colon == std::string::npos) return reason;
    return channel.find(reason.substr(0, colon)) != std::string::npos ? reason.substr(colon + 2) : reason;
}

}  // namespace

CCANDriver::CCANDriver(ICanLibrary& library, IniFile& ini, ITimerHost& clock, IUserNotifier& notifier)
    : library_(library), ini_(ini), clock_(clock), notifier_(notifier)
{
    reopen_ = clock_.createTimer([this] { TryReopen(); });
    poll_ = clock_.createTimer([this] { Poll(); });
    reap_ = clock_.createTimer([this] {
        reap_->stop();
        retired_.clear();
    });
    library_.SetFramesArrived([this] {
        // Asked to compare with the design's polling: the polls alone read.
        if (wait_ == CanWait::Event) OnFramesArrived();
    });
}

CCANDriver::~CCANDriver() { Shutdown(); }

void CCANDriver::Shutdown()
{
    library_.SetFramesArrived({});
    // Jobs hold timers and refer to the driver: they go first.
    queue_.clear();
    active_ = nullptr;
    activeOwned_.reset();
    retired_.clear();
}

void CCANDriver::LoadSettings()
{
    Interrupt = static_cast<uint16_t>(ini_.GetInt(kSection, "Interrupt", "7"));
    PortAddress = static_cast<uint32_t>(ini_.GetInt(kSection, "PortAddress", "888"));
    CANBaudRate = static_cast<uint16_t>(ini_.GetInt(kSection, "CANBaudRate", "28"));
    NodeIdentifier = static_cast<uint8_t>(ini_.GetInt(kSection, "NodeIdentifier", "1"));
    SdoTransmitCobId = ini_.GetInt(kSection, "SdoTransmitCobId", "1537");
    SdoReceiveCobId = ini_.GetInt(kSection, "SdoReceiveCobId", "1409");
    Channel = ini_.GetString(kSection, "Channel", "socketcan:can0");
    ReopenInterval = ini_.GetInt(kSection, "ReopenInterval", "1000");
    // Not a number of milliseconds: the design's wait.
    const int32_t answer = ini_.GetInt(kSection, "AnswerTimeout", "16383");
    answerWaitMs_ = answer > 0 ? answer : kAnswerWaitMs;
}

void CCANDriver::SaveCanSettings()
{
    ini_.WriteInt(kSection, "Interrupt", Interrupt);
    ini_.WriteInt(kSection, "PortAddress", static_cast<int32_t>(PortAddress));
    ini_.WriteInt(kSection, "CANBaudRate", CANBaudRate);
    ini_.WriteInt(kSection, "NodeIdentifier", NodeIdentifier);
    ini_.WriteInt(kSection, "SdoTransmitCobId", SdoTransmitCobId);
    ini_.WriteInt(kSection, "SdoReceiveCobId", SdoReceiveCobId);
    ini_.WriteString(kSection, "Channel", Channel);
}

void CCANDriver::InitDriver()
{
    wantOpen_ = true;
    reopen_->stop();
    library_.SetChannel(Channel);
    if (library_.CAN_Init(CANBaudRate, can::kStandardFrames, can::kHardwareType, PortAddress, Interrupt) == can::kOk) {
        Opened();
        return;
    }
    const std::string why = library_.ErrorText();
    notifier_.message("error while init CAN-Driver" + (why.empty() ? "" : ": " + why), Caption::Info);
    driverOpen = 0;
    KeepTrying();
}

void CCANDriver::Opened()
{
    driverOpen = 1;
    Listen();
}

void CCANDriver::DeinitDriver()
{
    wantOpen_ = false;
    reopen_->stop();
    if (library_.CAN_Close() != can::kOk) notifier_.message("error while deinit CAN-Driver", Caption::Info);
    driverOpen = 0;
}

void CCANDriver::KeepTrying()
{
    if (wantOpen_ && ReopenInterval > 0) reopen_->start(ReopenInterval);
}

void CCANDriver::TryReopen()
{
    reopen_->stop();
    if (!wantOpen_ || driverOpen) return;
    library_.SetChannel(Channel);
    if (library_.CAN_Init(CANBaudRate, can::kStandardFrames, can::kHardwareType, PortAddress, Interrupt) != can::kOk) {
        KeepTrying();
        return;
    }
    Opened();
    busOff_ = writeFailing_ = false;
    ReportState(notifier_, "CAN channel reopened " + Channel);
}

void CCANDriver::Observe(uint32_t result)
{
    if (library_.Lost() && driverOpen) {
        ReportState(notifier_, "CAN channel lost " + Channel + ": " + WithoutDevice(library_.ErrorText(), Channel));
        library_.CAN_Close();
        driverOpen = 0;
        KeepTrying();
        return;
    }
    if (result == can::kBusOff && !busOff_) {
        busOff_ = true;
        ReportState(notifier_, "CAN bus-off " + Channel);
    } else if (result == can::kOk && busOff_) {
        busOff_ = false;
        ReportState(notifier_, "CAN bus recovered " + Channel);
    }
}

void CCANDriver::Listen()
{
    if (hearEverything_) {
        library_.SetReceiveFilter({});
        return;
    }
    // What answers the driver: its SDO server, the LSS slaves, and every SDO
    // server while nodes are looked for; one filter for each answer, none
    // overlapping another.
    const can::CanFilter everySdoServer{0x580, 0x780};
    const uint32_t answers = static_cast<uint32_t>(SdoReceiveCobId);
    std::vector<can::CanFilter> filters = {{lss::kSlaveId, 0x7FF}};
    if (scanning_) filters.push_back(everySdoServer);
    if (!scanning_ || (answers & everySdoServer.mask) != everySdoServer.id) filters.push_back({answers, 0x7FF});
    library_.SetReceiveFilter(filters);
}

void CCANDriver::SetHearEverything(bool on)
{
    hearEverything_ = on;
    if (driverOpen) Listen();
}

void CCANDriver::SetScanning(bool on)
{
    scanning_ = on;
    if (driverOpen) Listen();
}

void CCANDriver::FlushReceiveQueue()
{
    CanMessage scratch;
    // Bounded, so a bus that never stops talking cannot hold the driver here.
    for (int i = 0; i < 100000 && library_.CAN_Read(scratch) == can::kOk; ++i)
        if (Trace::on()) Trace::Line(Trace::CanFrame(Trace::ChannelName(Channel), '<', scratch) + "  ignored");
    received_.clear();
}

uint32_t CCANDriver::Send(const CanMessage& frame)
{
    if (Trace::on()) Trace::Line(Trace::CanFrame(Trace::ChannelName(Channel), '>', frame));
    return library_.CAN_Write(frame);
}

uint32_t CCANDriver::WriteCanMessage(const CanMessage& frame)
{
    FlushReceiveQueue();
    const uint32_t result = Send(frame);
    const bool wasOpen = driverOpen;
    Observe(result);
    if (result == can::kOk) {
        writeFailing_ = false;
    } else if (!writeFailing_ && !(wasOpen && !driverOpen)) {  // a lost channel has its own line
        writeFailing_ = true;
        notifier_.message("Error executing CAN_Write (CCANDriver::WriteCanMessage)", Caption::Info);
    }
    return result;
}

void CCANDriver::OnFramesArrived()
{
    // A job's step may look again at what has come; it is all read here already.
    if (reading_) return;
    reading_ = true;
    CanMessage frame;
    for (;;) {
        const uint32_t result = library_.CAN_Read(frame);
        if (result == can::kQueueEmpty) break;
        if (result != can::kOk) {
            Observe(result);
            if (active_)
                active_->Failed(result);
            else
                readError_ = result;  // for the frame test, which reads in its place
            break;
        }
        const bool awaited = active_ && active_->Awaits(frame);
        if (Trace::on())
            Trace::Line(Trace::CanFrame(Trace::ChannelName(Channel), '<', frame) +
                        (awaited || (!active_ && hearEverything_) ? "" : "  ignored"));
        if (awaited) {
            active_->Take(frame);
        } else if (active_) {
            ++ignored_;
        } else {
            // Nothing awaits it: the frame test may read it.
            if (received_.size() >= kReceivedKept) received_.pop_front();
            received_.push_back(frame);
        }
    }
    Observe(can::kOk);
    reading_ = false;
}

void CCANDriver::AnswerAwaited()
{
    if (library_.NotifiesArrival() && wait_ == CanWait::Event) return;
    pollDelay_ = 1;
    poll_->start(pollDelay_);
}

void CCANDriver::Poll()
{
    poll_->stop();
    OnFramesArrived();
    // Doubling up to the longest delay while a job runs; a new wait starts the schedule again.
    if (!active_) return;
    pollDelay_ = std::min(2 * pollDelay_, kLongestPollMs);
    poll_->start(pollDelay_);
}

void CCANDriver::Submit(std::unique_ptr<CanJob> job)
{
    CanJob* j = job.get();
    queue_.push_back({j, std::move(job)});
    StartNext();
}

void CCANDriver::Submit(CanJob& job)
{
    queue_.push_back({&job, nullptr});
    StartNext();
}

bool CCANDriver::queued(const CanJob& job) const
{
    if (active_ == &job) return true;
    for (const Queued& q : queue_)
        if (q.job == &job) return true;
    return false;
}

void CCANDriver::StartNext()
{
    if (starting_) return;
    starting_ = true;
    while (!active_ && !queue_.empty()) {
        active_ = queue_.front().job;
        activeOwned_ = std::move(queue_.front().owned);
        queue_.pop_front();
        active_->Start();
    }
    starting_ = false;
}

void CCANDriver::JobDone()
{
    // Its own call is still running: one of the driver's is destroyed from the loop, later.
    active_ = nullptr;
    if (activeOwned_) {
        retired_.push_back(std::move(activeOwned_));
        if (!reap_->isActive()) reap_->start(0);
    }
    StartNext();
}

void CCANDriver::WriteTestFrame(const CanMessage& frame, const char* failure)
{
    auto job = std::make_unique<CanProcedure>(*this);
    job->Send(frame, false, failure);
    Submit(std::move(job));
}

uint32_t CCANDriver::ReadTestFrame(CanMessage& frame)
{
    if (!driverOpen) return can::kIllHandle;
    OnFramesArrived();  // a library that cannot tell of arrivals
    if (readError_ != can::kOk) return std::exchange(readError_, can::kOk);
    if (received_.empty()) return can::kQueueEmpty;
    frame = received_.front();
    received_.pop_front();
    return can::kOk;
}

namespace {

struct LibraryError {
    uint32_t code;
    int32_t status;
    const char* text;
};

// Compared for equality: a code with several bits set is unknown.
constexpr LibraryError kLibraryErrors[] = {
    {can::kXmtFull, 26, "CAN Error: XMTFULL"},          {can::kOverrun, 27, "CAN Error: OVERRUN"},
    {can::kBusLight, 28, "CAN Error: BUSLIGHT"},        {can::kBusHeavy, 29, "CAN Error: BUSHEAVY"},
    {can::kBusOff, 30, "CAN Error: BUSOFF"},            {can::kQueueEmpty, 31, "CAN Error: QRCVEMPTY"},
    {can::kQueueOverrun, 32, "CAN Error: QOVERRUN"},    {can::kQueueXmtFull, 33, "CAN Error: QXMFULL"},
    {can::kRegTest, 34, "CAN Error: REGTEST"},          {can::kNoVxd, 35, "CAN Error: NOVXD"},
    {can::kIllHandle, 39, "CAN Error: ILLHANDLE"},      {can::kResource, 36, "CAN Error: RESOURCE"},
    {can::kIllParamType, 37, "CAN Error: ILLPARAMTYPE"}, {can::kIllParamVal, 38, "CAN Error: ILLPARAMVAL"},
};
constexpr LibraryError kUnknownError = {0, 1, "CAN Error: Unknown Error"};

const LibraryError& Find(uint32_t code)
{
    for (const LibraryError& e : kLibraryErrors)
        if (e.code == code) return e;
    return kUnknownError;
}

}  // namespace

int32_t CCANDriver::DriverErrorStatus(uint32_t code) { return Find(code).status; }

const char* CCANDriver::DriverErrorText(uint32_t code) { return Find(code).text; }

const char* CCANDriver::StatusText(int32_t status)
{
    for (const LibraryError& e : kLibraryErrors)
        if (e.status == status) return e.text;
    return nullptr;
}

void CCANDriver::ShowDriverError(uint32_t code)
{
    notifier_.message(DriverErrorText(code));
}

void CCANDriver::ShowWaitFailure(uint32_t code)
{
    if (code == can::kQueueEmpty)
        notifier_.message("CAN driver timeout error!", Caption::Error);
    else
        ShowDriverError(code);
}

void CCANDriver::LssFailed(const std::string& why)
{
    if (lssError_.empty()) lssError_ = why;
}

}  // namespace nalvexa
