// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "can/can_job.h"
#include "can/can_library.h"
#include "can/lss_identity.h"
#include "platform.h"
#include "server/driver_request.h"
#include "settings/ini_file.h"

namespace nalvexa {

// How a CAN answer is waited for.
enum class CanWait {
    Event,     // wake when a frame arrives, up to the same total time
    Doubling,  // poll after 1, 2, 4 ... 8192 ms, as a library that cannot tell must be
};

// The one place that touches the CAN library: its settings (section "CAN"),
// opening and closing it, single frames, the library's errors as request
// statuses or message boxes, and the bus itself: the work that needs it (a
// client's transfer, an operator's procedure) runs one job at a time, on the
// loop, driven by the frames that arrive and by timers. Nothing waits.
class CCANDriver {
public:
    static constexpr int64_t kAnswerWaitMs = 16383;  // 1 + 2 + ... + 8192
    static constexpr size_t kReceivedKept = 1000;     // frames nobody awaited, for the message test

    CCANDriver(ICanLibrary& library, IniFile& ini, ITimerHost& clock, IUserNotifier& notifier);
    virtual ~CCANDriver();
    // Forgets every job; the library no longer reports to it.
    void Shutdown();

    uint16_t Interrupt = 7;
    uint32_t PortAddress = 0x378;
    uint16_t CANBaudRate = can::kBtr500k;
    uint8_t driverOpen = 0;
    uint8_t NodeIdentifier = 1;
    int32_t SdoTransmitCobId = 0x601;
    int32_t SdoReceiveCobId = 0x581;
    uint8_t nmtWarningPending = 1;
    std::string Channel = "socketcan:can0";
    // Milliseconds between attempts to open a channel that is gone (0: none).
    int ReopenInterval = 1000;

    void LoadSettings();
    void SaveCanSettings();
    // Opens the library; a channel that cannot be opened is tried again every
    // ReopenInterval ms, as is one that is lost later, until DeinitDriver.
    void InitDriver();
    void DeinitDriver();
    // Drops what waits in the library and what arrived unawaited.
    void FlushReceiveQueue();
    // The library's result; a failure is shown once, not again until a write succeeds.
    uint32_t WriteCanMessage(const CanMessage& frame);
    // CAN_Write of one frame, traced.
    uint32_t Send(const CanMessage& frame);
    // Frames passed over while waiting for answers, since the start.
    uint64_t ignoredFrames() const { return ignored_; }
    static int32_t DriverErrorStatus(uint32_t code);
    static const char* DriverErrorText(uint32_t code);
    // The library error a request status stands for, or none.
    static const char* StatusText(int32_t status);
    static void SetDriverErrorStatus(DriverRequest& request, uint32_t code) { request.status = DriverErrorStatus(code); }
    void ShowDriverError(uint32_t code);
    // A failed wait of an operator's procedure, shown as the design has it.
    void ShowWaitFailure(uint32_t code);

    // The bus, one job at a time in the order given: one of its own, or one
    // its owner keeps and gives again (a request's transfers).
    void Submit(std::unique_ptr<CanJob> job);
    void Submit(CanJob& job);
    // The running job ends; the next one starts.
    void JobDone();
    bool busy() const { return active_ != nullptr; }
    bool queued(const CanJob& job) const;
    // A wait for an answer began: a library that cannot tell of arrivals is polled.
    void AnswerAwaited();
    // Reads what has arrived, now: the last look before a wait gives up.
    void LookNow() { OnFramesArrived(); }

    // The frame test: a frame as entered, in its turn on the bus (`failure`
    // shown when it could not be written), and the oldest frame that arrived
    // unawaited.
    void WriteTestFrame(const CanMessage& frame, const char* failure);
    uint32_t ReadTestFrame(CanMessage& frame);
    // The frame test hears every frame; otherwise only what answers the driver.
    void SetHearEverything(bool on);
    // While nodes are looked for, every SDO server's answers are heard.
    void SetScanning(bool on);

    // Network management: one frame on identifier 0x000 to NodeIdentifier (0: every node).
    void StartRemoteNode();
    void StopRemoteNode();
    void EnterPreOperationalState();
    void ResetNode();
    void ResetCommunications();

    // Layer setting services, on identifier 0x7E5: the frames without an answer.
    void SwitchModeGlobalConfiguration();
    void SwitchModeGlobalOperation();
    void SwitchModeSelective(uint32_t serialNumber);

    using Done = std::function<void(bool ok)>;
    // The procedures the operator runs, with their fixed pauses; each waits
    // its turn on the bus, and `done` follows on the loop when it ended (ok:
    // every step was confirmed; LssError says which was not).
    // False for a rate the bus cannot be moved to (nothing is sent then).
    bool ChangeBitRate(int kbitPerSecond, Done done = {});
    void SetNodeId(uint8_t nodeId, const uint32_t* serialNumber, Done done = {});
    // With the selective switch of the whole identity: not ok when that drive
    // did not confirm it (nothing more is sent then) or a later step failed.
    void SetNodeId(uint8_t nodeId, const LssIdentity& identity, int answerMs, Done done);
    // The identity, and with `withNodeId` the node-ID of the drive (-1 without an answer).
    void InquireIdentity(bool withNodeId, std::function<void(const LssIdentity&, int nodeId)> done);
    // LSS fastscan: one unconfigured drive's identity; that drive is then in
    // configuration mode (and no longer answers a fastscan).
    enum class FastscanResult { Found, None, Failed };  // Failed: one answered, its identity was not confirmed
    void Fastscan(int stepMs, std::function<void(FastscanResult, const LssIdentity&)> done);
    // Which node-IDs answer an SDO upload of 0x1000:00 (the device type)
    // within `answerMs`, and that value.
    struct Node {
        uint8_t id;
        uint32_t deviceType;  // when `known`
        bool known;           // an expedited answer; else an abort (its code in deviceType) or a segmented one
        bool aborted;
    };
    void ScanNodes(int answerMs, std::function<void(const std::vector<Node>&)> done);
    // Why the last procedure did not go through (a step unanswered or
    // refused); empty when every step was confirmed.
    const std::string& LssError() const { return lssError_; }
    void LssFailed(const std::string& why);
    void ClearLssError() { lssError_.clear(); }
    // How long a procedure waits for a confirmation after the pause that
    // follows its step (0: only what has come by then).
    void SetLssConfirmWait(int ms) { lssConfirmMs_ = ms; }
    int lssConfirmWait() const { return lssConfirmMs_; }

    void SetWaitMode(CanWait mode) { wait_ = mode; }
    // How long an answer is waited for ("AnswerTimeout", kAnswerWaitMs unless set).
    void SetAnswerWait(int64_t ms) { answerWaitMs_ = ms; }
    int64_t answerWait() const { return answerWaitMs_; }
    ICanLibrary& library() { return library_; }
    ITimerHost& clock() { return clock_; }
    IUserNotifier& notifier() { return notifier_; }

    // Notes what a library call said: a lost channel is closed and tried
    // again later; bus-off and its end are state lines.
    void Observe(uint32_t result);

protected:
    ICanLibrary& library_;
    IniFile& ini_;
    ITimerHost& clock_;
    IUserNotifier& notifier_;

private:
    void Nmt(uint8_t command, const char* failure);
    void Lss(std::initializer_list<uint8_t> bytes, const char* failure);
    void OnFramesArrived();
    void Poll();
    void StartNext();
    void Listen();  // the filter for what the driver awaits
    void KeepTrying();
    void TryReopen();
    void Opened();

    CanWait wait_ = CanWait::Event;
    uint64_t ignored_ = 0;
    int64_t answerWaitMs_ = kAnswerWaitMs;
    std::string lssError_;
    int lssConfirmMs_ = 0;
    std::unique_ptr<ITimer> reopen_;
    std::unique_ptr<ITimer> poll_;
    std::unique_ptr<ITimer> reap_;
    int pollDelay_ = 1;
    bool wantOpen_ = false;
    bool writeFailing_ = false;
    bool busOff_ = false;
    bool hearEverything_ = false;
    bool reading_ = false;
    bool starting_ = false;
    bool scanning_ = false;
    struct Queued {
        CanJob* job;
        std::unique_ptr<CanJob> owned;  // none: its owner keeps it
    };
    std::deque<Queued> queue_;
    CanJob* active_ = nullptr;
    std::unique_ptr<CanJob> activeOwned_;
    std::vector<std::unique_ptr<CanJob>> retired_;  // ended inside their own calls: destroyed from the loop
    std::deque<CanMessage> received_;
    uint32_t readError_ = can::kOk;
};

}  // namespace nalvexa
