#include "platform/ft4222/standin/usbsysfs.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <optional>

namespace Vantrel {

namespace {

constexpr FT_STATUS otherError = 18;
constexpr unsigned long ftdiVendorId = 0x0403;
// Interfaces are told apart by one letter; no FTDI part comes near this many.
constexpr unsigned long maxInterfaces = 26;

// First line of a sysfs attribute, without its newline; nothing when it cannot be read.
std::optional<std::string> readAttribute(const std::string &deviceDir, const char *name)
{
    FILE *file = std::fopen((deviceDir + '/' + name).c_str(), "re");
    if (!file)
        return std::nullopt;
    char line[256];
    const bool ok = std::fgets(line, sizeof line, file) != nullptr;
    std::fclose(file);
    if (!ok)
        return std::nullopt;
    std::string text(line);
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text;
}

std::optional<unsigned long> readNumber(const std::string &deviceDir, const char *name, int base)
{
    const std::optional<std::string> text = readAttribute(deviceDir, name);
    if (!text)
        return std::nullopt;
    char *end = nullptr;
    errno = 0;
    const unsigned long value = std::strtoul(text->c_str(), &end, base);
    if (end == text->c_str() || errno != 0)
        return std::nullopt;
    return value;
}

// Copies text and suffix into a NUL-terminated field, shortening the text (never the suffix,
// which tells interfaces apart) and never cutting a UTF-8 sequence in two.
template <size_t N>
void fitField(std::array<char, N> &field, const std::string &text, const std::string &suffix)
{
    const size_t room = N - 1 - std::min(suffix.size(), N - 1);
    size_t cut = std::min(text.size(), room);
    if (cut < text.size()) {
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
            --cut;
    }
    field.fill('\0');
    std::memcpy(field.data(), text.data(), cut);
    std::memcpy(field.data() + cut, suffix.data(), std::min(suffix.size(), N - 1 - cut));
}

std::optional<std::vector<std::string>> entryNames(const std::string &devicesDir, int &error)
{
    DIR *dir = opendir(devicesDir.c_str());
    if (!dir) {
        error = errno;
        return std::nullopt;
    }
    std::vector<std::string> names;
    errno = 0;
    while (const dirent *entry = readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.emplace_back(entry->d_name);
    }
    error = errno;
    closedir(dir);
    if (error != 0)
        return std::nullopt;
    std::sort(names.begin(), names.end());
    return names;
}

void appendInterfaces(const std::string &deviceDir, std::vector<FtdiInterface> &interfaces)
{
    // Interface entries and anything else without a vendor id are not devices.
    if (readNumber(deviceDir, "idVendor", 16) != ftdiVendorId)
        return;
    const unsigned long productId = readNumber(deviceDir, "idProduct", 16).value_or(0);
    const std::string product = readAttribute(deviceDir, "product").value_or(std::string());
    const std::string serial = readAttribute(deviceDir, "serial").value_or(std::string());
    // A device whose configuration cannot be read still shows up once, as the vendor's list does.
    const unsigned long count = std::clamp(readNumber(deviceDir, "bNumInterfaces", 10).value_or(1), 1UL, maxInterfaces);
    const unsigned long bus = readNumber(deviceDir, "busnum", 10).value_or(0);
    const unsigned long address = readNumber(deviceDir, "devnum", 10).value_or(0);

    for (unsigned long i = 0; i < count; ++i) {
        const std::string letter = count > 1 ? std::string(1, static_cast<char>('A' + i)) : std::string();
        FtdiInterface entry;
        entry.id = static_cast<uint32_t>(ftdiVendorId << 16 | (productId & 0xFFFF));
        entry.locId = static_cast<uint32_t>((bus & 0xFFFFFF) << 8 | (address & 0xFF));
        fitField(entry.serialNumber, serial, letter);
        fitField(entry.description, product, letter.empty() ? letter : ' ' + letter);
        interfaces.push_back(entry);
    }
}

} // namespace

FT_STATUS listFtdiInterfaces(const std::string &devicesDir, std::vector<FtdiInterface> &interfaces)
{
    interfaces.clear();
    int error = 0;
    const std::optional<std::vector<std::string>> names = entryNames(devicesDir, error);
    if (!names)
        return error == ENOENT ? 0 : otherError;
    for (const std::string &name : *names)
        appendInterfaces(devicesDir + '/' + name, interfaces);
    return 0;
}

} // namespace Vantrel
