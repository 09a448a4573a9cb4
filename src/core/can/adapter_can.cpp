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

void CAdapterCAN::Execute(DriverRequest* request)
{
    DriverRequest& r = *request;
    const int64_t first = static_cast<int32_t>(r.slIndex2);
    const int64_t last = static_cast<int32_t>(r.slIndex3);
    const int64_t objects = last - first + 1;
    const bool blockDownload = r.kind == Write && (r.slIndex1 & 0xFFFF) == kBlockDownloadIndex;
    lastAbortCode_ = lastReadLength_ = 0;

    if (r.kind != Read && r.kind != Write) {
        r.status = 1;  // no SDO transfer for it; the client still gets its answer
    } else if (!driverOpen) {
        SetDriverErrorStatus(r, can::kIllHandle);  // the channel is closed (or gone, and being reopened)
    } else if (blockDownload) {
        SdoBlockDownload(r);
    } else if (objects <= 0) {
        // An empty range transfers nothing.
    } else if (objects > kMaxSubIndices) {
        r.status = 1;  // would address sub-indices more than once
    } else if (r.kind == Read) {
        uint32_t cursor = 0;
        for (int64_t s = first; s <= last && driverOpen; ++s)
            if (!SdoUpload(r, static_cast<uint8_t>(s), cursor)) break;
        lastReadLength_ = cursor;
    } else {
        const int64_t perObject = r.length / objects;
        if (perObject == 0 || perObject > 255) {
            r.status = 1;  // the per-object length travels in one byte
        } else {
            uint32_t cursor = 0;
            for (int64_t s = first; s <= last && driverOpen; ++s)
                SdoDownload(r, static_cast<uint8_t>(s), cursor, static_cast<uint32_t>(perObject));
        }
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
