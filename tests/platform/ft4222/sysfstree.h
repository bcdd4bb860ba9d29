#ifndef VANTREL_TESTS_SYSFSTREE_H
#define VANTREL_TESTS_SYSFSTREE_H

#include <optional>
#include <string>
#include <vector>

// A USB device as sysfs shows it; a missing attribute is left out of the tree.
struct FakeUsbDevice
{
    std::string name; // entry name, e.g. "1-1.3"
    std::string idVendor;
    std::string idProduct;
    std::optional<std::string> product;
    std::optional<std::string> serial;
    std::optional<int> interfaces;
};

// A fake /sys in a temporary directory, laid out like the real one: device directories under
// devices/, and bus/usb/devices holding symbolic links to them plus each device's interface
// entries. Removed with the object.
class SysfsTree
{
public:
    SysfsTree();
    ~SysfsTree();
    SysfsTree(const SysfsTree &) = delete;
    SysfsTree &operator=(const SysfsTree &) = delete;

    void add(const FakeUsbDevice &device);
    // The fake /sys.
    std::string root() const { return m_root; }

private:
    std::string devicesDir() const;

    std::string m_root;
};

#endif
