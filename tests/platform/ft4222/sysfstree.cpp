#include "tests/platform/ft4222/sysfstree.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

void writeAttribute(const fs::path &dir, const char *name, const std::string &value)
{
    std::ofstream(dir / name) << value << '\n';
}

} // namespace

SysfsTree::SysfsTree()
{
    char pattern[] = "/tmp/vantrel-sysfs-XXXXXX";
    const char *made = mkdtemp(pattern);
    if (!made)
        std::abort();
    m_root = made;
    fs::create_directories(fs::path(m_root) / "bus/usb/devices");
    // A root hub is always there, and is never an FTDI device.
    add({"usb1", "1d6b", "0002", "xHCI Host Controller", "0000:00:14.0", 1});
}

SysfsTree::~SysfsTree()
{
    std::error_code ignored;
    fs::remove_all(m_root, ignored);
}

std::string SysfsTree::devicesDir() const
{
    return m_root + "/bus/usb/devices";
}

void SysfsTree::add(const FakeUsbDevice &device)
{
    const fs::path deviceDir = fs::path(m_root) / "devices/pci0000:00" / device.name;
    fs::create_directories(deviceDir);
    writeAttribute(deviceDir, "idVendor", device.idVendor);
    writeAttribute(deviceDir, "idProduct", device.idProduct);
    writeAttribute(deviceDir, "busnum", "1");
    writeAttribute(deviceDir, "devnum", "7");
    if (device.product)
        writeAttribute(deviceDir, "product", *device.product);
    if (device.serial)
        writeAttribute(deviceDir, "serial", *device.serial);
    if (device.interfaces) {
        // The kernel pads this one to two columns.
        char padded[8];
        std::snprintf(padded, sizeof padded, "%2d", *device.interfaces);
        writeAttribute(deviceDir, "bNumInterfaces", padded);
    }
    const fs::path devices = devicesDir();
    fs::create_directory_symlink(deviceDir, devices / device.name);
    for (int i = 0; i < device.interfaces.value_or(0); ++i) {
        const std::string interfaceName = device.name + ":1." + std::to_string(i);
        const fs::path interfaceDir = deviceDir / interfaceName;
        fs::create_directories(interfaceDir);
        writeAttribute(interfaceDir, "bInterfaceNumber", "0" + std::to_string(i));
        fs::create_directory_symlink(interfaceDir, devices / interfaceName);
    }
}
