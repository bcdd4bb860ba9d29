#ifndef VANTREL_DEVICE_BRIDGE_H
#define VANTREL_DEVICE_BRIDGE_H

#include "platform/ft4222/ft4222.h"

namespace Vantrel {

// True when both interfaces of the FT4222 bridge ("FT4222 A" and "FT4222 B") are listed by the
// bridge library. Failures of the library are written straight to stderr; a plain "not found"
// writes nothing. Never opens a device and keeps no state between calls.
bool bridgePresent();

// The bridge library's name for a status code, "unknown" for codes it does not define.
const char *statusName(FT_STATUS code);

} // namespace Vantrel

#endif
