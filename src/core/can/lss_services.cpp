// SPDX-License-Identifier: MIT
// Layer setting services (CiA 305) as the master: mode switches, a new
// node-ID, a new bit rate for the whole bus, and the identity inquiries;
// each procedure a job of steps with the design's fixed pauses.
#include <memory>

#include "can/can_driver.h"
#include "can/can_procedure.h"
#include "can/lss_frames.h"

namespace nalvexa {

namespace {

constexpr int kStepPauseMs = 100;
constexpr int kInquiryPauseMs = 200;

constexpr uint8_t kSwitchGlobal = 0x04;
constexpr uint8_t kSwitchSelective = 0x40;  // + 0..3: vendor-ID, product code, revision, serial number
constexpr uint8_t kSwitchSelectiveSerial = 0x43;
constexpr uint8_t kSelectiveConfirmed = 0x44;
constexpr uint8_t kConfigureNodeId = 0x11;
constexpr uint8_t kConfigureBitTiming = 0x13;
constexpr uint8_t kActivateBitTiming = 0x15;
constexpr uint8_t kStore = 0x17;
constexpr uint8_t kInquireVendor = 0x5A;
constexpr uint8_t kInquireNodeId = 0x5E;

using lss::Frame;

CanMessage Little32(uint8_t command, uint32_t v)
{
    return Frame({command, static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                     static_cast<uint8_t>(v >> 24)});
}

const char* const kGlobalConfigurationFailure = "Error executing SwitchModeGlobalConfiguration";
const char* const kGlobalOperationFailure = "Error executing SwitchModeGlobaOperation";

}  // namespace

void CCANDriver::Lss(std::initializer_list<uint8_t> bytes, const char* failure)
{
    auto job = std::make_unique<CanProcedure>(*this);
    job->Send(Frame(bytes), false, failure);
    Submit(std::move(job));
}

void CCANDriver::SwitchModeGlobalConfiguration() { Lss({kSwitchGlobal, 0x01}, kGlobalConfigurationFailure); }
void CCANDriver::SwitchModeGlobalOperation() { Lss({kSwitchGlobal, 0x00}, kGlobalOperationFailure); }

void CCANDriver::SwitchModeSelective(uint32_t serial)
{
    auto job = std::make_unique<CanProcedure>(*this);
    job->Send(Little32(kSwitchSelectiveSerial, serial), false, "Error executing SwitchModeSelective");
    Submit(std::move(job));
}

namespace {

// A confirmation of `command` with error code 0, within the confirmation wait.
CanProcedure::Answered Confirmed(CCANDriver& bus, const char* step)
{
    return [&bus, step](const CanMessage* answer, uint32_t) {
        if (!answer)
            bus.LssFailed(std::string(step) + ": no answer");
        else if (answer->data[1] != 0)
            bus.LssFailed(std::string(step) + ": refused with error " + std::to_string(answer->data[1]));
        return true;
    };
}

// The new node-ID, stored, and the drives back to waiting.
void ConfigureAndStoreNodeId(CCANDriver& bus, CanProcedure& p, uint8_t nodeId)
{
    p.Pause(kStepPauseMs)
        // Flushed, so that a slave's confirmation of the selective switch is not taken for this answer.
        .Send(Frame({kConfigureNodeId, nodeId}), true, "Error executing ConfigureNodeId")
        .Await(kConfigureNodeId, -1,
               [&bus](const CanMessage* answer, uint32_t failure) {
                   if (!answer) {
                       bus.ShowWaitFailure(failure);
                       bus.LssFailed("configure node-ID: no answer");
                   } else if (answer->data[1] != 0) {
                       bus.LssFailed("configure node-ID: refused with error " + std::to_string(answer->data[1]));
                       bus.notifier().message("Error received after ConfigureNodeId CAN_Write", Caption::Info);
                   }
                   return true;
               })
        .Pause(kStepPauseMs)
        .Send(Frame({kStore}), true, nullptr)  // not reported
        .Pause(kStepPauseMs)
        .Await(kStore, bus.lssConfirmWait(), Confirmed(bus, "store configuration"))
        .Send(Frame({kSwitchGlobal, 0x00}), false, kGlobalOperationFailure);
}

// One of the four inquiries: the value, or 0 without an answer.
void Inquire(CCANDriver& bus, CanProcedure& p, uint8_t command, const char* failure, uint32_t& into)
{
    p.Send(Frame({command}), true, failure).Await(command, -1, [&bus, &into](const CanMessage* a, uint32_t error) {
        if (a) {
            into = can::LittleEndian32(a->data + 1);
        } else {
            bus.ShowWaitFailure(error);
            bus.LssFailed("identity inquiry: no answer");
        }
        return true;
    });
}

}  // namespace

bool CCANDriver::ChangeBitRate(int kbitPerSecond, Done done)
{
    const can::BitRate* rate = can::FindBitRate(kbitPerSecond);
    if (!rate) return false;
    const uint16_t btr = rate->btr;
    auto p = std::make_unique<CanProcedure>(*this);
    p->Do([this] { ClearLssError(); })
        .Send(Frame({kSwitchGlobal, 0x01}), false, kGlobalConfigurationFailure)
        .Pause(kStepPauseMs)
        .Send(Frame({kConfigureBitTiming, 0x00, rate->lssIndex}), true,
              "Error executing ConfigureBitTimingParameters CAN_Write")
        .Pause(kStepPauseMs)
        .Await(kConfigureBitTiming, lssConfirmMs_, Confirmed(*this, "configure bit timing"))
        .Send(Frame({kStore}), true, nullptr)
        .Pause(kStepPauseMs)
        .Await(kStore, lssConfirmMs_, Confirmed(*this, "store configuration"))
        // The switch delay is always 100 ms.
        .Send(Frame({kActivateBitTiming, 0x64, 0x00}), true, "Error executing ActivateBitTimingParameters CAN_Write")
        .Pause(kStepPauseMs)
        .Do([this, btr] {
            DeinitDriver();
            CANBaudRate = btr;
        })
        .Pause(kStepPauseMs)
        .Do([this] { InitDriver(); })
        .Finally([this, done] {
            if (done) done(lssError_.empty());
        });
    Submit(std::move(p));
    return true;
}

void CCANDriver::SetNodeId(uint8_t nodeId, const uint32_t* serialNumber, Done done)
{
    auto p = std::make_unique<CanProcedure>(*this);
    p->Do([this] { ClearLssError(); });
    if (serialNumber)
        p->Send(Little32(kSwitchSelectiveSerial, *serialNumber), false, "Error executing SwitchModeSelective");
    else
        p->Send(Frame({kSwitchGlobal, 0x01}), false, kGlobalConfigurationFailure);
    ConfigureAndStoreNodeId(*this, *p, nodeId);
    p->Finally([this, done] {
        if (done) done(lssError_.empty());
    });
    Submit(std::move(p));
}

void CCANDriver::SetNodeId(uint8_t nodeId, const LssIdentity& id, int answerMs, Done done)
{
    auto p = std::make_unique<CanProcedure>(*this);
    p->Do([this] { ClearLssError(); });
    // The selective switch of CiA 305 with the whole identity, which that drive confirms.
    const uint32_t values[4] = {id.vendorId, id.productCode, id.revisionNumber, id.serialNumber};
    for (uint8_t i = 0; i < 4; ++i) p->Send(Little32(static_cast<uint8_t>(kSwitchSelective + i), values[i]), i == 0, nullptr);
    p->Await(kSelectiveConfirmed, answerMs, [this](const CanMessage* answer, uint32_t) {
        if (!answer) LssFailed("no drive of that identity answered the selective switch");
        return answer != nullptr;  // nothing more is sent to no drive
    });
    ConfigureAndStoreNodeId(*this, *p, nodeId);
    p->Finally([this, done] {
        if (done) done(lssError_.empty());
    });
    Submit(std::move(p));
}

void CCANDriver::InquireIdentity(bool withNodeId, std::function<void(const LssIdentity&, int nodeId)> done)
{
    struct Found {
        LssIdentity id;
        int nodeId = -1;
    };
    auto found = std::make_shared<Found>();
    auto p = std::make_unique<CanProcedure>(*this);
    p->Do([this] { ClearLssError(); }).Send(Frame({kSwitchGlobal, 0x01}), false, kGlobalConfigurationFailure);
    Inquire(*this, *p, kInquireVendor, "Error executing InquireIdentityVendorID CAN_Write", found->id.vendorId);
    p->Pause(kInquiryPauseMs);
    Inquire(*this, *p, kInquireVendor + 1, "Error executing InquireIdentityProductCode CAN_Write", found->id.productCode);
    p->Pause(kInquiryPauseMs);
    Inquire(*this, *p, kInquireVendor + 2, "Error executing InquireIdentityRevisionNumber CAN_Write",
            found->id.revisionNumber);
    p->Pause(kInquiryPauseMs);
    Inquire(*this, *p, kInquireVendor + 3, "Error executing InquireIdentitySerialNumber CAN_Write",
            found->id.serialNumber);
    p->Pause(kInquiryPauseMs);
    if (withNodeId) {
        p->Send(Frame({kInquireNodeId}), true, nullptr)
            .Await(kInquireNodeId, answerWaitMs_, [this, found](const CanMessage* answer, uint32_t) {
                if (answer)
                    found->nodeId = answer->data[1];
                else
                    LssFailed("node-ID inquiry: no answer");
                return true;
            });
    }
    p->Send(Frame({kSwitchGlobal, 0x00}), false, kGlobalOperationFailure).Finally([found, done] {
        if (done) done(found->id, found->nodeId);
    });
    Submit(std::move(p));
}

}  // namespace nalvexa
