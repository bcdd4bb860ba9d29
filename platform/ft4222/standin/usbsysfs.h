#ifndef VANTREL_FT4222_USBSYSFS_H
#define VANTREL_FT4222_USBSYSFS_H

#include "platform/ft4222/ft4222.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace Vantrel {

// One listed FTDI interface, with its texts already cut to the library's field sizes.
struct FtdiInterface
{
    uint32_t id = 0; // USB vendor id << 16 | product id
    uint32_t locId = 0; // bus number << 8 | device address
    std::array<char, 16> serialNumber{};
    std::array<char, 64> description{};
};

// Lists every interface of every FTDI device (USB vendor 0403) found under a sysfs
// "bus/usb/devices" directory, devices in name order. A missing directory means no USB bus and
// lists nothing; a directory that cannot be read is FT_OTHER_ERROR (18).
FT_STATUS listFtdiInterfaces(const std::string &devicesDir, std::vector<FtdiInterface> &interfaces);

} // namespace Vantrel

#endif
