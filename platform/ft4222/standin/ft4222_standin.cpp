// Placeholder until the stand-in bridge library lands: the list call fails.
#include "ft4222.h"

extern "C" {
FT_STATUS FT_CreateDeviceInfoList(uint32_t *count) { *count = 0; return 18; }
FT_STATUS FT_GetDeviceInfoDetail(uint32_t, uint32_t *, uint32_t *, uint32_t *, uint32_t *, void *, void *, FT_HANDLE *) { return 18; }
}
