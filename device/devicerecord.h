#ifndef VANTREL_DEVICE_DEVICERECORD_H
#define VANTREL_DEVICE_DEVICERECORD_H

#include "platform/ft4222/ft4222.h" // fixed-width types come with the library's declarations

namespace Vantrel {

// One entry of the bridge library's device list, in the library's own layout: the library writes
// into it field by field, so neither order nor widths may change. Field names follow the library.
struct DeviceRecord
{
    uint32_t Flags;
    uint32_t Type;
    uint32_t ID;
    uint32_t LocId;
    char SerialNumber[16];
    char Description[64];
    FT_HANDLE ftHandle;
};

static_assert(sizeof(void *) != 4 || sizeof(DeviceRecord) == 100, "library record is 100 bytes on 32-bit targets");
static_assert(sizeof(void *) != 8 || sizeof(DeviceRecord) == 104, "library record is 104 bytes on 64-bit targets");

} // namespace Vantrel

#endif
