// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "can/can_library.h"
#include "platform.h"
#include "server/driver_request.h"
#include "settings/ini_file.h"

namespace nalvexa {

// Thrown and caught inside one block download; the status is already in the request.
class CCANException {};

// How a CAN answer is waited for.
enum class CanWait {
    Event,     // wake when a frame arrives, up to the same total time
    Doubling,  // poll with sleeps of 1, 2, 4 ... 8192 ms
};

// Which received frames can be the answer that is awaited. Every other frame
// on the bus (other nodes, heartbeats, PDOs, stale answers) is passed over.
using AnswerMatch = std::function<bool(const CanMessage& frame)>;

// The one place that touches the CAN library: its settings (section "CAN"),
// opening and closing it, single frames, and the library's errors as
// request statuses or message boxes.
class CCANDriver {
public:
    static constexpr int64_t kAnswerWaitMs = 16383;  // 1 + 2 + ... + 8192

    CCANDriver(ICanLibrary& library, IniFile& ini, ITimerHost& clock, ISleeper& sleeper, IUserNotifier& notifier);
    virtual ~CCANDriver() = default;

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
    void FlushReceiveQueue();
    // The library's result; a failure is shown once, not again until a write succeeds.
    uint32_t WriteCanMessage(const CanMessage& frame);
    // CAN_Write of one frame, traced.
    uint32_t Send(const CanMessage& frame);
    // The first frame that `match` accepts, into `frame`; false after a
    // time-out or a library error, which become the request's status, or a
    // message box without a request. Frames it passes over do not extend the wait.
    bool ReadCanMessage(DriverRequest* request, CanMessage& frame, const AnswerMatch& match);
    // Frames passed over while waiting for answers, since the start.
    uint64_t ignoredFrames() const { return ignored_; }
    static int32_t DriverErrorStatus(uint32_t code);
    static const char* DriverErrorText(uint32_t code);
    // The library error a request status stands for, or none.
    static const char* StatusText(int32_t status);
    void SetDriverErrorStatus(DriverRequest& request, uint32_t code) { request.status = DriverErrorStatus(code); }
    void ShowDriverError(uint32_t code);

    // Network management: one frame on identifier 0x000 to NodeIdentifier (0: every node).
    void StartRemoteNode();
    void StopRemoteNode();
    void EnterPreOperationalState();
    void ResetNode();
    void ResetCommunications();

    // Layer setting services, on identifier 0x7E5.
    void SwitchModeGlobalConfiguration();
    void SwitchModeGlobaOperation();
    void SwitchModeSelective(uint32_t serialNumber);
    void ConfigureNodeId(uint8_t nodeId);
    void ConfigureBitTimingParameters(uint8_t tableIndex);
    uint32_t StoreConfiguration();
    void ActivateBitTimingParameters();
    uint32_t InquireIdentityVendorID();
    uint32_t InquireIdentityProductCode();
    uint32_t InquireIdentityRevisionNumber();
    uint32_t InquireIdentitySerialNumber();

    struct LssIdentity {
        uint32_t vendorId = 0, productCode = 0, revisionNumber = 0, serialNumber = 0;
    };
    // The selective switch of CiA 305 with the whole identity: true when the
    // drive of that identity confirmed that it is in configuration mode.
    bool SwitchModeSelective(const LssIdentity& identity, int answerMs);
    // The node-ID of the drive in configuration mode (0xFF: none set), or -1 without an answer.
    int InquireNodeId(int answerMs);
    // LSS fastscan: one unconfigured drive's identity; that drive is then in
    // configuration mode (and no longer answers a fastscan).
    enum class FastscanResult { Found, None, Failed };  // Failed: one answered, its identity was not confirmed
    FastscanResult Fastscan(LssIdentity& found, int stepMs);
    // Which node-IDs answer an SDO upload of 0x1000:00 (the device type)
    // within `answerMs`, and that value.
    struct Node {
        uint8_t id;
        uint32_t deviceType;  // when `known`
        bool known;           // an expedited answer; else an abort (its code in deviceType) or a segmented one
        bool aborted;
    };
    std::vector<Node> ScanNodes(int answerMs);
    // The procedures the operator runs, with their fixed pauses.
    // False for a rate the bus cannot be moved to (nothing is sent then).
    bool ChangeBitRate(int kbitPerSecond);
    void SetNodeId(uint8_t nodeId, const uint32_t* serialNumber);
    // With the selective switch of the whole identity; false when that drive
    // did not confirm it (nothing more is sent then) or a later step failed.
    bool SetNodeId(uint8_t nodeId, const LssIdentity& identity, int answerMs);
    // With the node-ID of the drive too, when `nodeId` is given.
    LssIdentity InquireIdentity(int* nodeId = nullptr);
    // Why the last of these procedures did not go through (a step unanswered
    // or refused); empty when every step was confirmed.
    const std::string& LssError() const { return lssError_; }
    // How long a procedure waits for a confirmation after the pause that
    // follows its step (0: only what has come by then).
    void SetLssConfirmWait(int ms) { lssConfirmMs_ = ms; }

    void SetWaitMode(CanWait mode) { wait_ = mode; }
    // How long an answer is waited for (kAnswerWaitMs unless set).
    void SetAnswerWait(int64_t ms) { answerWaitMs_ = ms; }
    ICanLibrary& library() { return library_; }

    // Notes what a library call said: a lost channel is closed and tried
    // again later; bus-off and its end are state lines.
    void Observe(uint32_t result);

protected:
    ICanLibrary& library_;
    IniFile& ini_;
    ITimerHost& clock_;
    ISleeper& sleeper_;
    IUserNotifier& notifier_;

private:
    void Nmt(uint8_t command, const char* failure);
    void Lss(std::initializer_list<uint8_t> bytes, bool flush, const char* failure);
    uint32_t Inquire(uint8_t command, const char* failure);
    void ConfigureAndStoreNodeId(uint8_t nodeId);
    // The slave's answer to `command`, which must carry error code 0.
    void Confirm(uint8_t command, const char* step);
    void Failed(const std::string& why);
    uint32_t WaitForAnswer(CanMessage& frame, const AnswerMatch& match);
    // One frame that `match` accepts within `ms`, without any message; false on time-out or error.
    bool Await(CanMessage& frame, const AnswerMatch& match, int ms);
    uint32_t PollWithDoublingSleeps(CanMessage& frame, const AnswerMatch& match);
    // Reads until a frame matches or the queue is empty (or fails).
    uint32_t ReadMatching(CanMessage& frame, const AnswerMatch& match);

    void KeepTrying();
    void TryReopen();

    CanWait wait_ = CanWait::Event;
    uint64_t ignored_ = 0;
    int64_t answerWaitMs_ = kAnswerWaitMs;
    std::string lssError_;
    int lssConfirmMs_ = 0;
    std::unique_ptr<ITimer> reopen_;
    bool wantOpen_ = false;
    bool writeFailing_ = false;
    bool busOff_ = false;
};

}  // namespace nalvexa
