// SPDX-License-Identifier: MIT
// SDO transfers of the CAN adapter: upload, download, and the block download
// of object 0x3007, in the frame layouts of CiA 301.
#include <algorithm>
#include <cstring>

#include "can/adapter_can.h"
#include "can/sdo_abort_codes.h"
#include "can/sdo_answer.h"

namespace nalvexa {

namespace {

constexpr uint8_t kInitiateUpload = 0x40;
constexpr uint8_t kUploadSegment = 0x60;
constexpr uint8_t kInitiateSegmentedDownload = 0x21;
constexpr uint8_t kInitiateBlockDownload = 0xC2;
constexpr uint8_t kEndBlockDownload = 0xC1;
constexpr uint8_t kExpeditedBit = 0x02;
constexpr uint8_t kLastSegmentBit = 0x01;
constexpr uint8_t kToggleBit = 0x10;
constexpr uint8_t kLastBlockSegment = 0x80;
constexpr uint8_t kMaxBlockSize = 127;
constexpr uint32_t kBlockBytes = 64;

// The server command specifiers of the answers (byte 0, masked).
constexpr uint8_t kScsMask = 0xE0;
constexpr uint8_t kUploadInitiated = 0x40;
constexpr uint8_t kUploadSegmentAnswer = 0x00;
constexpr uint8_t kDownloadInitiated = 0x60;
constexpr uint8_t kDownloadSegmentAnswer = 0x20;
constexpr uint8_t kBlockMask = 0xE3;
constexpr uint8_t kBlockInitiated = 0xA0;
constexpr uint8_t kBlockAcknowledged = 0xA2;
constexpr uint8_t kBlockEnded = 0xA1;

using can::LittleEndian32;

}  // namespace

CanMessage CAdapterCAN::SdoFrame(uint8_t command, uint16_t index, uint8_t subIndex) const
{
    CanMessage f;
    f.id = static_cast<uint32_t>(SdoTransmitCobId);
    f.type = 0;
    f.length = 8;
    f.data[0] = command;
    f.data[1] = static_cast<uint8_t>(index);
    f.data[2] = static_cast<uint8_t>(index >> 8);
    f.data[3] = subIndex;
    return f;
}

void CAdapterCAN::SetAbortStatus(DriverRequest& request, const CanMessage& answer)
{
    lastAbortCode_ = LittleEndian32(answer.data + 4);
    request.status = SdoAbortStatus(lastAbortCode_);
}

SdoAnswer CAdapterCAN::Expect(uint8_t mask, uint8_t command, const DriverRequest& r, uint8_t subIndex) const
{
    return SdoAnswer::Initiate(static_cast<uint32_t>(SdoReceiveCobId), mask, command, static_cast<uint16_t>(r.slIndex1),
                               subIndex);
}

SdoAnswer CAdapterCAN::ExpectWithin(uint8_t mask, uint8_t command, const DriverRequest& r, uint8_t subIndex,
                                    int toggle) const
{
    return SdoAnswer::Within(static_cast<uint32_t>(SdoReceiveCobId), mask, command, static_cast<uint16_t>(r.slIndex1),
                             subIndex, toggle);
}

bool CAdapterCAN::Send(DriverRequest& request, const CanMessage& frame)
{
    const uint32_t result = WriteCanMessage(frame);
    if (result == can::kOk) return true;
    // No answer can come to what was not sent.
    SetDriverErrorStatus(request, result);
    return false;
}

bool CAdapterCAN::ReadAnswer(DriverRequest& request, CanMessage& answer, const SdoAnswer& expected)
{
    if (!ReadCanMessage(&request, answer, [&](const CanMessage& f) { return expected.Matches(f); })) return false;
    if (IsAbort(answer)) SetAbortStatus(request, answer);
    return true;
}

void CAdapterCAN::ReadSdoAnswer(DriverRequest& request, CanMessage& answer, const SdoAnswer& expected)
{
    if (!ReadCanMessage(&request, answer, [&](const CanMessage& f) { return expected.Matches(f); }))
        throw CCANException();
    if (IsAbort(answer)) {
        SetAbortStatus(request, answer);
        throw CCANException();
    }
}

bool CAdapterCAN::SdoUpload(DriverRequest& r, uint8_t subIndex, uint32_t& cursor)
{
    const uint16_t index = static_cast<uint16_t>(r.slIndex1);
    // Stores bytes at the cursor; false, with status 1, where data ends.
    auto store = [&](const uint8_t* bytes, uint32_t count) {
        uint32_t room = kRequestDataSize - cursor;
        uint32_t n = std::min(count, room);
        std::memcpy(r.data.data() + cursor, bytes, n);
        cursor += n;
        if (n == count) return true;
        r.status = 1;
        return false;
    };

    if (!Send(r, SdoFrame(kInitiateUpload, index, subIndex))) return true;
    CanMessage answer;
    if (!ReadAnswer(r, answer, Expect(kScsMask, kUploadInitiated, r, subIndex)) || IsAbort(answer)) return true;

    const uint8_t command = answer.data[0];
    if (command & kExpeditedBit) {
        const uint32_t unused = (command >> 2) & 3;
        const uint32_t zeros = std::min<uint32_t>(4, kRequestDataSize - cursor);
        std::memset(r.data.data() + cursor, 0, zeros);
        return store(answer.data + 4, 4 - unused);
    }
    if (LittleEndian32(answer.data + 4) == 0) {
        r.status = 41;
        return true;
    }
    // The bytes are not checked against the announced size; the end of data bounds them.
    for (uint8_t toggle = 0;; toggle ^= 1) {
        if (cursor >= kRequestDataSize) {
            r.status = 1;  // more than data can hold
            return false;
        }
        if (!Send(r, SdoFrame(static_cast<uint8_t>(kUploadSegment | (toggle ? kToggleBit : 0))))) return true;
        if (!ReadAnswer(r, answer, ExpectWithin(kScsMask, kUploadSegmentAnswer, r, subIndex, toggle)) || IsAbort(answer))
            return true;
        const uint8_t segment = answer.data[0];
        if (!store(answer.data + 1, 7 - ((segment >> 1) & 7))) return false;
        if (segment & kLastSegmentBit) return true;
    }
}

void CAdapterCAN::SdoDownload(DriverRequest& r, uint8_t subIndex, uint32_t& cursor, uint32_t n)
{
    const uint16_t index = static_cast<uint16_t>(r.slIndex1);
    CanMessage answer;
    if (n <= 4) {
        CanMessage f = SdoFrame(static_cast<uint8_t>(0x23 + (4 - n) * 4), index, subIndex);
        std::memcpy(f.data + 4, r.data.data() + cursor, n);
        cursor += n;
        if (!Send(r, f)) return;
        ReadAnswer(r, answer, Expect(kScsMask, kDownloadInitiated, r, subIndex));
        return;
    }

    CanMessage initiate = SdoFrame(kInitiateSegmentedDownload, index, subIndex);
    initiate.data[4] = static_cast<uint8_t>(n);
    if (!Send(r, initiate)) return;
    // Without an answer the segments are sent all the same; an abort ends this object.
    if (ReadAnswer(r, answer, Expect(kScsMask, kDownloadInitiated, r, subIndex)) && IsAbort(answer)) return;
    uint8_t toggle = 0;
    for (uint32_t sent = 0; sent < n; toggle ^= 1) {
        const uint32_t k = std::min<uint32_t>(7, n - sent);
        const bool last = n - sent <= 7;
        CanMessage segment = SdoFrame(static_cast<uint8_t>((toggle ? kToggleBit : 0) |
                                                           (last ? ((7 - k) << 1) | kLastSegmentBit : 0)));
        std::memset(segment.data + 1, 0, 7);
        std::memcpy(segment.data + 1, r.data.data() + cursor, k);
        if (!Send(r, segment)) return;
        cursor += k;
        sent += k;
        ReadAnswer(r, answer, ExpectWithin(kScsMask, kDownloadSegmentAnswer, r, subIndex, toggle));
    }
}

void CAdapterCAN::SdoBlockDownload(DriverRequest& r)
{
    try {
        CanMessage initiate = SdoFrame(kInitiateBlockDownload, kBlockDownloadIndex, static_cast<uint8_t>(r.slIndex2));
        for (int i = 0; i < 4; ++i) initiate.data[4 + i] = static_cast<uint8_t>(r.length >> (8 * i));
        if (!Send(r, initiate)) throw CCANException();
        CanMessage answer;
        const uint8_t subIndex = static_cast<uint8_t>(r.slIndex2);
        ReadSdoAnswer(r, answer, Expect(kBlockMask, kBlockInitiated, r, subIndex));
        // A block holds at most 127 segments: beyond that the sequence number would carry the last-segment flag.
        const uint8_t blockSize = std::min(answer.data[4], kMaxBlockSize);

        // One block carrying the first 64 bytes of data, zeros where the client gave fewer.
        uint32_t budget = std::min(kBlockBytes, r.length), cursor = 0;
        for (uint8_t q = 1; q <= blockSize; ++q) {
            const uint32_t k = std::min<uint32_t>(7, budget);
            budget -= k;
            CanMessage segment = SdoFrame(static_cast<uint8_t>(q | (q == blockSize ? kLastBlockSegment : 0)));
            std::memset(segment.data + 1, 0, 7);
            std::memcpy(segment.data + 1, r.data.data() + cursor, k);
            library_.CAN_Status();
            if (!Send(r, segment)) throw CCANException();
            cursor += k;
        }
        ReadSdoAnswer(r, answer, ExpectWithin(kBlockMask, kBlockAcknowledged, r, subIndex, -1));
        if (!Send(r, SdoFrame(kEndBlockDownload))) throw CCANException();
        ReadSdoAnswer(r, answer, ExpectWithin(kBlockMask, kBlockEnded, r, subIndex, -1));
    } catch (const CCANException&) {
        // The status is already in the request; the reply follows.
    }
}

}  // namespace nalvexa
