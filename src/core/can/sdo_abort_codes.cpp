// SPDX-License-Identifier: MIT
#include "can/sdo_abort_codes.h"

namespace nalvexa {

namespace {

struct Entry {
    uint32_t code;
    int32_t status;  // 1: reported as the generic failure
    const char* text;
};

// The abort codes of CiA 301 and the statuses the clients know them by.
constexpr Entry kTable[] = {
    {0x05030000, 8, "toggle bit not alternated"},
    {0x05040000, 9, "SDO protocol timed out"},
    {0x05040001, 10, "command specifier not valid or unknown"},
    {0x05040002, 1, "invalid block size"},
    {0x05040003, 1, "invalid sequence number"},
    {0x05040004, 1, "CRC error"},
    {0x05040005, 1, "out of memory"},
    {0x06010000, 1, "unsupported access to an object"},
    {0x06010001, 11, "attempt to read a write-only object"},
    {0x06010002, 12, "attempt to write a read-only object"},
    {0x06020000, 13, "object does not exist in the object dictionary"},
    {0x06040000, 14, "not named in CiA 301"},
    {0x06040041, 15, "object cannot be mapped to the PDO"},
    {0x06040042, 16, "number and length of mapped objects would exceed the PDO length"},
    {0x06040043, 1, "general parameter incompatibility"},
    {0x06040047, 1, "general internal incompatibility in the device"},
    {0x06060000, 17, "access failed because of a hardware error"},
    {0x06070010, 18, "data type does not match, length of service parameter does not match"},
    {0x06070012, 1, "data type does not match, length of service parameter too high"},
    {0x06070013, 1, "data type does not match, length of service parameter too low"},
    {0x06090011, 19, "sub-index does not exist"},
    {0x06090030, 20, "value range of parameter exceeded"},
    {0x06090031, 21, "value of parameter written too high"},
    {0x06090032, 22, "value of parameter written too low"},
    {0x06090036, 1, "maximum value is less than minimum value"},
    {0x060A0023, 1, "resource not available: SDO connection"},
    {0x08000000, 23, "general error"},
    {0x08000020, 24, "data cannot be transferred or stored to the application"},
    {0x08000021, 1, "data cannot be transferred or stored because of local control"},
    {0x08000022, 25, "data cannot be transferred or stored because of the present device state"},
    {0x08000023, 1, "object dictionary not present or its dynamic generation failed"},
    {0x08000024, 1, "no data available"},
};

const Entry* Find(uint32_t code)
{
    for (const Entry& e : kTable)
        if (e.code == code) return &e;
    return nullptr;
}

}  // namespace

int32_t SdoAbortStatus(uint32_t code)
{
    const Entry* e = Find(code);
    return e ? e->status : 1;
}

const char* SdoAbortText(uint32_t code)
{
    const Entry* e = Find(code);
    return e ? e->text : "unknown abort code";
}

}  // namespace nalvexa
