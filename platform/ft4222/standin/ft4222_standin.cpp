// The project's stand-in for the bridge library: the device list comes from Linux sysfs.
#pragma GCC visibility push(default)
#include "platform/ft4222/ft4222.h"
#pragma GCC visibility pop

#include "platform/ft4222/standin/usbsysfs.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {

constexpr FT_STATUS deviceNotFound = 2;
constexpr FT_STATUS invalidParameter = 6;

std::mutex g_mutex;
std::vector<Vantrel::FtdiInterface> g_list;

// Tests point the stand-in at a fake sysfs tree; see README.md.
std::string devicesDir()
{
    const char *root = std::getenv("VANTREL_FT4222_SYSFS_ROOT");
    return std::string(root && *root ? root : "/sys") + "/bus/usb/devices";
}

} // namespace

extern "C" {

FT_STATUS FT_CreateDeviceInfoList(uint32_t *count)
{
    if (!count)
        return invalidParameter;
    const std::lock_guard<std::mutex> lock(g_mutex);
    const FT_STATUS status = Vantrel::listFtdiInterfaces(devicesDir(), g_list);
    *count = static_cast<uint32_t>(g_list.size());
    return status;
}

// Null pointers are fields the caller does not want.
FT_STATUS FT_GetDeviceInfoDetail(uint32_t index, uint32_t *flags, uint32_t *type, uint32_t *id, uint32_t *locId,
                                 void *serialNumber, void *description, FT_HANDLE *handle)
{
    const std::lock_guard<std::mutex> lock(g_mutex);
    if (index >= g_list.size())
        return deviceNotFound;
    const Vantrel::FtdiInterface &entry = g_list[index];
    if (flags)
        *flags = 0; // never opened by anyone through this library
    if (type)
        *type = 0;
    if (id)
        *id = entry.id;
    if (locId)
        *locId = entry.locId;
    if (serialNumber)
        std::memcpy(serialNumber, entry.serialNumber.data(), entry.serialNumber.size());
    if (description)
        std::memcpy(description, entry.description.data(), entry.description.size());
    if (handle)
        *handle = nullptr;
    return 0;
}
}
