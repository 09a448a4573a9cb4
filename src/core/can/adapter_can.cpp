// SPDX-License-Identifier: MIT
#include "can/adapter_can.h"

namespace nalvexa {

CAdapterCAN::CAdapterCAN(ICanLibrary& library, IniFile& ini, ITimerHost& clock, ISleeper& sleeper,
                         IUserNotifier& notifier)
    : CCANDriver(library, ini, clock, sleeper, notifier)
{
    LoadSettings();
    driverOpen = 0;
    nmtWarningPending = 1;
    InitDriver();
}

bool CAdapterCAN::Addressable(const DriverRequest& r)
{
    if (r.slIndex1 > kMaxIndex || r.slIndex2 > kMaxSubIndex) return false;
    if (IsBlockDownload(r)) return true;  // one sub-index, slIndex2
    if (r.slIndex3 > kMaxSubIndex || r.slIndex3 < r.slIndex2) return false;
    if (r.kind != Write) return true;
    // Every object of the range gets the same share, which travels in one byte.
    const uint32_t objects = r.slIndex3 - r.slIndex2 + 1;
    const uint32_t perObject = r.length / objects;
    return r.length % objects == 0 && perObject >= 1 && perObject <= 255;
}

void CAdapterCAN::Execute(DriverRequest* request)
{
    DriverRequest& r = *request;
    lastAbortCode_ = lastReadLength_ = 0;

    if ((r.kind != Read && r.kind != Write) || !Addressable(r)) {
        r.status = 1;  // no SDO transfer for it; nothing is sent, the client still gets its answer
    } else if (!driverOpen) {
        SetDriverErrorStatus(r, can::kIllHandle);  // the channel is closed (or gone, and being reopened)
    } else if (IsBlockDownload(r)) {
        SdoBlockDownload(r);
    } else if (r.kind == Read) {
        uint32_t cursor = 0;
        for (uint32_t s = r.slIndex2; s <= r.slIndex3 && driverOpen; ++s)
            if (!SdoUpload(r, static_cast<uint8_t>(s), cursor)) break;
        lastReadLength_ = cursor;
    } else {
        const uint32_t perObject = r.length / (r.slIndex3 - r.slIndex2 + 1);
        uint32_t cursor = 0;
        for (uint32_t s = r.slIndex2; s <= r.slIndex3 && driverOpen; ++s)
            SdoDownload(r, static_cast<uint8_t>(s), cursor, perObject);
    }
    r.replySink->SendReply();
}

void CAdapterCAN::ShowSetup()
{
    if (services_) services_->ShowCanSetup();
}

void CAdapterCAN::InstallMenu()
{
    if (services_) services_->InstallCanMenu();
}

}  // namespace nalvexa
