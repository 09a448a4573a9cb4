// SPDX-License-Identifier: MIT
#pragma once

#include <string>

#include "can/can_driver.h"
#include "can/sdo_answer.h"
#include "server/adapter_interfaces.h"

namespace nalvexa {

// CANopen drives: every client read or write becomes SDO transfers, one per
// sub-index of the requested range, carried out to the end inside Execute.
class CAdapterCAN : public IDriverAdapter, public CCANDriver {
public:
    static constexpr uint32_t kBlockDownloadIndex = 0x3007;
    // What the frames carry: a 16-bit index and 8-bit sub-indices.
    static constexpr uint32_t kMaxIndex = 0xFFFF;
    static constexpr uint32_t kMaxSubIndex = 0xFF;

    CAdapterCAN(ICanLibrary& library, IniFile& ini, ITimerHost& clock, ISleeper& sleeper, IUserNotifier& notifier);

    std::string GetTitle() const override { return title_; }
    void SetTitle(const std::string& title) override { title_ = title; }
    void SetServices(IAdapterServices* services) override { services_ = services; }
    void Execute(DriverRequest* request) override;
    void ShowSetup() override;
    void InstallMenu() override;
    void SaveSettings() override { SaveCanSettings(); }

    // What the last Execute met: the abort code a drive sent (0: none), and
    // for a read, how many bytes the drive sent.
    uint32_t lastAbortCode() const { return lastAbortCode_; }
    uint32_t lastReadLength() const { return lastReadLength_; }

private:
    static bool IsBlockDownload(const DriverRequest& r) { return r.kind == Write && r.slIndex1 == kBlockDownloadIndex; }
    // False for a request the frames cannot carry as it is: an index or a
    // sub-index beyond their fields, a range upside down, a write whose bytes
    // cannot be shared equally over its objects (1 to 255 bytes each).
    static bool Addressable(const DriverRequest& r);
    // Each returns false when the request must end (the end of data was reached).
    bool SdoUpload(DriverRequest& request, uint8_t subIndex, uint32_t& cursor);
    void SdoDownload(DriverRequest& request, uint8_t subIndex, uint32_t& cursor, uint32_t perObject);
    void SdoBlockDownload(DriverRequest& request);
    // The answers that belong to this transfer: an initiate answer names the
    // object, one within the transfer carries the toggle (-1: none).
    SdoAnswer Expect(uint8_t mask, uint8_t command, const DriverRequest& request, uint8_t subIndex) const;
    SdoAnswer ExpectWithin(uint8_t mask, uint8_t command, const DriverRequest& request, uint8_t subIndex,
                           int toggle) const;
    // False, with the library's status in the request, when the frame could not be sent.
    bool Send(DriverRequest& request, const CanMessage& frame);
    void ReadSdoAnswer(DriverRequest& request, CanMessage& answer, const SdoAnswer& expected);
    // False when no frame came (status set); an abort sets its status and is reported as read.
    bool ReadAnswer(DriverRequest& request, CanMessage& answer, const SdoAnswer& expected);
    static bool IsAbort(const CanMessage& answer) { return answer.data[0] == 0x80; }
    void SetAbortStatus(DriverRequest& request, const CanMessage& answer);
    CanMessage SdoFrame(uint8_t command, uint16_t index = 0, uint8_t subIndex = 0) const;

    std::string title_;
    IAdapterServices* services_ = nullptr;
    uint32_t lastAbortCode_ = 0;
    uint32_t lastReadLength_ = 0;
};

}  // namespace nalvexa
