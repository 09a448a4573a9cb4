// SPDX-License-Identifier: MIT
// The command specifiers of SDO frames (CiA 301).
#pragma once

#include <cstdint>

namespace nalvexa::sdo {

// Client requests (byte 0).
constexpr uint8_t kInitiateUpload = 0x40;
constexpr uint8_t kUploadSegment = 0x60;
constexpr uint8_t kInitiateExpeditedDownload = 0x23;  // + (4 - n) * 4 for n bytes
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

}  // namespace nalvexa::sdo
