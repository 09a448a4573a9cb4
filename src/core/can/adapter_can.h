// SPDX-License-Identifier: MIT
#pragma once

#include <string>

#include "can/can_driver.h"
#include "can/sdo_answer.h"
#include "server/adapter_interfaces.h"

namespace nalvexa {

// CANopen drives: every client read or write becomes SDO transfers, one per
// sub-index of the requested range, as a job of the bus; the reply follows
// the last of them.
class CAdapterCAN : public IDriverAdapter, public CCANDriver {
public:
    static constexpr uint32_t kBlockDownloadIndex = 0x3007;
    // What the frames carry: a 16-bit index and 8-bit sub-indices.
    static constexpr uint32_t kMaxIndex = 0xFFFF;
    static constexpr uint32_t kMaxSubIndex = 0xFF;

    CAdapterCAN(ICanLibrary& library, IniFile& ini, ITimerHost& clock, IUserNotifier& notifier);
    ~CAdapterCAN() override;

    std::string GetTitle() const override { return title_; }
    void SetTitle(const std::string& title) override { title_ = title; }
    void Execute(DriverRequest* request) override;
    AdapterOffer Offer() const override { return Offered(); }
    // Its menu and setup dialog, the same for every instance.
    static AdapterOffer Offered();
    void SaveSettings() override { SaveCanSettings(); }

    // What the last request met: the abort code a drive sent (0: none), and
    // for a read, how many bytes the drive sent.
    uint32_t lastAbortCode() const { return lastAbortCode_; }
    uint32_t lastReadLength() const { return lastReadLength_; }
    void SetReadLength(uint32_t bytes) { lastReadLength_ = bytes; }
    // The status of an abort a drive sent, from its code.
    void SetAbortStatus(DriverRequest& request, const CanMessage& answer);

private:
    class Transfers;
    static bool IsBlockDownload(const DriverRequest& r) { return r.kind == Write && r.slIndex1 == kBlockDownloadIndex; }
    // False for a request the frames cannot carry as it is: an index or a
    // sub-index beyond their fields, a range upside down, a write whose bytes
    // cannot be shared equally over its objects (1 to 255 bytes each).
    static bool Addressable(const DriverRequest& r);

    std::unique_ptr<Transfers> transfers_;  // kept: a request's transfers cost no allocation
    std::string title_;
    uint32_t lastAbortCode_ = 0;
    uint32_t lastReadLength_ = 0;
};

}  // namespace nalvexa
