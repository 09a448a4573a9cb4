// SPDX-License-Identifier: MIT
// The SDO transfers of a client's request (CiA 301): an upload, a download
// and the block download of object 0x3007, each a small state machine on
// the loop, driven by the answers it awaits and by its own wait. One object
// of each kind serves every sub-index of a request, one after the other.
#pragma once

#include <cstdint>
#include <functional>

#include "can/can_answer_wait.h"
#include "can/sdo_answer.h"
#include "server/driver_request.h"

namespace nalvexa {

class CAdapterCAN;

class SdoTransfer {
public:
    // `more`: false when the request must end here (the end of data was reached).
    using Ended = std::function<void(bool more)>;

    virtual ~SdoTransfer() = default;
    // The transfer of one sub-index; the cursor is where in the data it goes on.
    void Begin(DriverRequest& request, uint8_t subIndex, uint32_t cursor);
    uint32_t cursor() const { return cursor_; }
    bool Awaits(const CanMessage& frame) const { return wait_.Awaits(frame); }
    void Take(const CanMessage& frame);
    // Reading failed while an answer was awaited.
    void Failed(uint32_t code);

protected:
    SdoTransfer(CAdapterCAN& can, Ended ended);
    virtual void Start() = 0;
    virtual void Answered(const CanMessage& answer) = 0;
    // The answer did not come: status 40 after the wait, or the library's.
    virtual void NoAnswer() = 0;

    // Sends after flushing what waits; false, with the library's status, when it could not.
    bool Send(const CanMessage& frame);
    // An answer naming this transfer's object, or one within the transfer
    // carrying `toggle` (-1: none).
    void Expect(uint8_t mask, uint8_t command);
    void ExpectWithin(uint8_t mask, uint8_t command, int toggle);
    // The status of an abort the drive sent.
    void Aborted(const CanMessage& answer);
    static bool IsAbort(const CanMessage& answer) { return answer.data[0] == 0x80; }
    // A request frame of this transfer; `named`: it carries the index and sub-index.
    CanMessage Frame(uint8_t command, bool named = true) const;
    uint16_t index() const { return static_cast<uint16_t>(r_->slIndex1); }
    // The last thing a transfer does.
    void End(bool more = true) { ended_(more); }

    CAdapterCAN& can_;
    DriverRequest* r_ = nullptr;
    uint8_t sub_ = 0;
    uint32_t cursor_ = 0;

private:
    void Await(const SdoAnswer& expected);

    Ended ended_;
    CanAnswerWait wait_;
};

// Expedited or segmented, as the drive chooses, into the data at the cursor.
class SdoUpload : public SdoTransfer {
public:
    SdoUpload(CAdapterCAN& can, Ended ended) : SdoTransfer(can, std::move(ended)) {}

private:
    enum class State { Initiating, Segment };
    void Start() override;
    void Answered(const CanMessage& answer) override;
    void NoAnswer() override { End(); }
    void RequestSegment();
    // Stores at the cursor; false, with status 1, where the data ends.
    bool Store(const uint8_t* bytes, uint32_t count);

    State state_ = State::Initiating;
    uint8_t toggle_ = 0;
};

// `perObject` bytes from the cursor: expedited up to 4, else in segments of 7.
class SdoDownload : public SdoTransfer {
public:
    SdoDownload(CAdapterCAN& can, Ended ended) : SdoTransfer(can, std::move(ended)) {}
    void SetLength(uint32_t perObject) { n_ = perObject; }

private:
    enum class State { Expedited, Initiating, Segment };
    void Start() override;
    void Answered(const CanMessage& answer) override;
    void NoAnswer() override;
    void SendSegment();

    State state_ = State::Expedited;
    uint32_t n_ = 0, sent_ = 0;
    uint8_t toggle_ = 0;
};

// One block carrying the first 64 bytes of the data (zeros where the client
// gave fewer), then the block's acknowledgement and its end.
class SdoBlockDownload : public SdoTransfer {
public:
    SdoBlockDownload(CAdapterCAN& can, Ended ended) : SdoTransfer(can, std::move(ended)) {}

private:
    enum class State { Initiating, Acknowledging, Ending };
    void Start() override;
    void Answered(const CanMessage& answer) override;
    void NoAnswer() override { End(); }

    State state_ = State::Initiating;
};

}  // namespace nalvexa
