#include "device/bridge.h"

#include "device/devicerecord.h"

#include <cstdio>
#include <cstring>
#include <iterator>
#include <string_view>

namespace Vantrel {

namespace {

constexpr uint32_t maxRecords = 10;

constexpr const char *listCallText = "FT_CreateDeviceInfoList(&len_u32)";
constexpr const char *detailCallText =
    "FT_GetDeviceInfoDetail((DWORD)i, &info->Flags, &info->Type, &info->ID, &info->LocId, "
    "&info->SerialNumber, &info->Description, &info->ftHandle)";

// These lines bypass the log on purpose: they must reach the user whatever the log level.
void reportFailure(const char *callText, FT_STATUS status)
{
    std::fprintf(stderr, "Failure: \"%s\" = %s(%d)\n", callText, statusName(status), static_cast<int>(status));
}

void reportListFailed()
{
    std::fputs("List ft usb dev failed\n", stderr);
}

// The library promises a terminated text, but a record it filled to the last byte must not send
// the search past the field.
std::string_view descriptionOf(const DeviceRecord &record)
{
    const auto *end = static_cast<const char *>(std::memchr(record.Description, '\0', sizeof record.Description));
    return {record.Description, end ? static_cast<size_t>(end - record.Description) : sizeof record.Description};
}

} // namespace

const char *statusName(FT_STATUS code)
{
    static constexpr const char *names[] = {
        "FT_OK",
        "FT_INVALID_HANDLE",
        "FT_DEVICE_NOT_FOUND",
        "FT_DEVICE_NOT_OPENED",
        "FT_IO_ERROR",
        "FT_INSUFFICIENT_RESOURCES",
        "FT_INVALID_PARAMETER",
        "FT_INVALID_BAUD_RATE",
        "FT_DEVICE_NOT_OPENED_FOR_ERASE",
        "FT_DEVICE_NOT_OPENED_FOR_WRITE",
        "FT_FAILED_TO_WRITE_DEVICE",
        "FT_EEPROM_READ_FAILED",
        "FT_EEPROM_WRITE_FAILED",
        "FT_EEPROM_ERASE_FAILED",
        "FT_EEPROM_NOT_PRESENT",
        "FT_EEPROM_NOT_PROGRAMMED",
        "FT_INVALID_ARGS",
        "FT_NOT_SUPPORTED",
        "FT_OTHER_ERROR",
        "FT_DEVICE_LIST_NOT_READY",
    };
    return code < std::size(names) ? names[code] : "unknown";
}

bool bridgePresent()
{
    uint32_t count = 0;
    const FT_STATUS listStatus = FT_CreateDeviceInfoList(&count);
    if (listStatus != 0) {
        reportFailure(listCallText, listStatus);
        reportListFailed();
        return false;
    }
    // More interfaces than the table holds is a failure rather than a partial look.
    if (count > maxRecords) {
        reportListFailed();
        return false;
    }

    DeviceRecord records[maxRecords];
    for (uint32_t i = 0; i < count; ++i) {
        DeviceRecord *info = &records[i];
        std::memset(info, 0, sizeof *info);
        const FT_STATUS status = FT_GetDeviceInfoDetail(i, &info->Flags, &info->Type, &info->ID, &info->LocId,
                                                        &info->SerialNumber, &info->Description, &info->ftHandle);
        if (status != 0) {
            reportFailure(detailCallText, status);
            reportListFailed();
            return false;
        }
    }

    bool foundA = false;
    bool foundB = false;
    for (uint32_t i = 0; i < count; ++i) {
        const std::string_view description = descriptionOf(records[i]);
        foundA = foundA || description.find("FT4222 A") != std::string_view::npos;
        foundB = foundB || description.find("FT4222 B") != std::string_view::npos;
    }
    return foundA && foundB;
}

} // namespace Vantrel
