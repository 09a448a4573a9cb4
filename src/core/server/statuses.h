// SPDX-License-Identifier: MIT
// The statuses a request ends with (DriverRequest::status): one number space
// for every adapter. ToWireStatus alone turns them into what the client
// receives; the SDO abort codes (8 to 25) and the CAN library's errors (26
// to 39) are given theirs by their own tables.
#pragma once

#include <cstdint>

namespace nalvexa::status {

constexpr int32_t kOk = 0;
// Refused before anything was sent, or failed without a status of its own.
constexpr int32_t kFailed = 1;
// QMR: the controller flagged the request as failed.
constexpr int32_t kDeviceError = 2;
// The answer was not this request's: a wrong echo (TR7100), or good answers
// of another request (QMR, LVT).
constexpr int32_t kNotTheAnswer = 3;
// The sum or the CRC was wrong on the last attempt.
constexpr int32_t kBadChecksum = 4;
// No good answer after every repetition.
constexpr int32_t kNoAnswer = 5;
// A serial adapter's port is not open.
constexpr int32_t kPortClosed = 6;
// LVT: a frame longer than the line carries.
constexpr int32_t kTooLong = 7;
// CAN: no answer within the answer wait.
constexpr int32_t kCanNoAnswer = 40;
// CAN: a segmented upload announced no bytes.
constexpr int32_t kEmptyUpload = 41;
// LVT: the drive's own error codes 1 to 43 are 42 to 84, any other 85.
constexpr int32_t kDriveErrorFirst = 42;
constexpr int32_t kDriveErrorUnknown = 85;

}  // namespace nalvexa::status
