// SPDX-License-Identifier: MIT
#include "can/can_driver.h"

#include "trace/trace.h"

namespace nalvexa {

namespace {

constexpr const char* kSection = "CAN";

}  // namespace

CCANDriver::CCANDriver(ICanLibrary& library, IniFile& ini, ITimerHost& clock, ISleeper& sleeper,
                       IUserNotifier& notifier)
    : library_(library), ini_(ini), clock_(clock), sleeper_(sleeper), notifier_(notifier)
{
    reopen_ = clock_.createTimer([this] { TryReopen(); });
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
        driverOpen = 1;
        return;
    }
    const std::string why = library_.ErrorText();
    notifier_.message("error while init CAN-Driver" + (why.empty() ? "" : ": " + why), Caption::Info);
    driverOpen = 0;
    KeepTrying();
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
    driverOpen = 1;
    busOff_ = writeFailing_ = false;
    ReportState(notifier_, "CAN channel reopened " + Channel);
}

void CCANDriver::Observe(uint32_t result)
{
    if (library_.Lost() && driverOpen) {
        ReportState(notifier_, "CAN channel lost " + Channel + ": " + library_.ErrorText());
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

void CCANDriver::FlushReceiveQueue()
{
    CanMessage scratch;
    // Bounded, so a bus that never stops talking cannot hold the driver here.
    for (int i = 0; i < 100000 && library_.CAN_Read(scratch) == can::kOk; ++i)
        if (Trace::on()) Trace::Line(Trace::CanFrame(Trace::ChannelName(Channel), '<', scratch) + "  ignored");
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

bool CCANDriver::ReadCanMessage(DriverRequest* request, CanMessage& frame, const AnswerMatch& match)
{
    uint32_t result = wait_ == CanWait::Event ? WaitForAnswer(frame, match) : PollWithDoublingSleeps(frame, match);
    Observe(result);
    if (result == can::kOk) return true;
    if (result == can::kQueueEmpty) {
        if (request)
            request->status = 40;
        else
            notifier_.message("CAN driver timeout error!", Caption::Error);
        return false;
    }
    if (request)
        SetDriverErrorStatus(*request, result);
    else
        ShowDriverError(result);
    return false;
}

uint32_t CCANDriver::ReadMatching(CanMessage& frame, const AnswerMatch& match)
{
    // A busy bus returns to the caller now and then, so that its deadline still counts.
    for (int i = 0; i < 256; ++i) {
        uint32_t result = library_.CAN_Read(frame);
        if (result != can::kOk) return result;
        const bool answer = match(frame);
        if (Trace::on())
            Trace::Line(Trace::CanFrame(Trace::ChannelName(Channel), '<', frame) + (answer ? "" : "  ignored"));
        if (answer) return result;
        ++ignored_;
    }
    return can::kQueueEmpty;
}

uint32_t CCANDriver::WaitForAnswer(CanMessage& frame, const AnswerMatch& match)
{
    const int64_t start = clock_.nowMs();
    for (;;) {
        uint32_t result = ReadMatching(frame, match);
        if (result != can::kQueueEmpty) return result;
        int64_t waited = clock_.nowMs() - start;
        // The poll after the wait has run out still counts: a frame on the last moment is delivered.
        if (waited >= answerWaitMs_) return can::kQueueEmpty;
        library_.WaitForFrame(static_cast<int>(answerWaitMs_ - waited));
    }
}

bool CCANDriver::Await(CanMessage& frame, const AnswerMatch& match, int ms)
{
    const int64_t start = clock_.nowMs();
    for (;;) {
        uint32_t result = ReadMatching(frame, match);
        Observe(result);
        if (result == can::kOk) return true;
        if (result != can::kQueueEmpty) return false;
        int64_t waited = clock_.nowMs() - start;
        if (waited >= ms) return false;
        library_.WaitForFrame(static_cast<int>(ms - waited));
    }
}

uint32_t CCANDriver::PollWithDoublingSleeps(CanMessage& frame, const AnswerMatch& match)
{
    uint32_t result = ReadMatching(frame, match);
    for (int delay = 1; result == can::kQueueEmpty && delay <= 8192; delay *= 2) {
        sleeper_.sleepMs(delay);
        result = ReadMatching(frame, match);
    }
    return result;
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

}  // namespace nalvexa
