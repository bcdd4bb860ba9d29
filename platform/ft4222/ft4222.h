/* The two calls of FTDI's libft4222.so that the bridge check makes. Fixed by the vendor: do not change. */
#ifndef VANTREL_FT4222_CALLS_H
#define VANTREL_FT4222_CALLS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t FT_STATUS; /* 0 is FT_OK */
typedef void *FT_HANDLE;

FT_STATUS FT_CreateDeviceInfoList(uint32_t *count);
FT_STATUS FT_GetDeviceInfoDetail(uint32_t index, uint32_t *flags, uint32_t *type, uint32_t *id, uint32_t *locId,
                                 void *serialNumber /* 16 bytes */, void *description /* 64 bytes */,
                                 FT_HANDLE *handle);

#ifdef __cplusplus
}
#endif

#endif
