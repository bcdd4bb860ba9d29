#include "device/bridge.h"
#include "platform/ft4222/ft4222.h"
#include "tests/platform/ft4222/sysfstree.h"
#include "tests/support/outputcapture.h"
#include "tests/support/tablerows.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

using Vantrel::Test::OutputCapture;

namespace {

const char *const sysfsRootVariable = "VANTREL_FT4222_SYSFS_ROOT";

enum class Root { Tree, Missing, NotADirectory };

// Fills the tree with the devices and points the stand-in at it, at a sysfs without a USB bus, or at
// one whose device directory is a regular file (a directory that cannot be read, whoever runs the test).
void pointStandinAt(SysfsTree &tree, const std::vector<FakeUsbDevice> &devices, Root root)
{
    for (const FakeUsbDevice &device : devices)
        tree.add(device);
    std::string dir = tree.root();
    if (root == Root::Missing) {
        dir += "/without-usb";
        std::filesystem::create_directories(dir + "/bus");
    } else if (root == Root::NotADirectory) {
        dir += "/unreadable";
        std::filesystem::create_directories(dir + "/bus/usb");
        std::ofstream(dir + "/bus/usb/devices") << "x\n";
    }
    setenv(sysfsRootVariable, dir.c_str(), 1);
}

const FakeUsbDevice ft4222{"1-1.4", "0403", "601c", "FT4222", "FT5X1Y2Z", 2};
const FakeUsbDevice ft232r{"1-1.2", "0403", "6001", "FT232R USB UART", "A50285BI", 1};
const FakeUsbDevice mouse{"1-1.1", "046d", "c52b", "USB Receiver", std::nullopt, 3};

const std::string long100 = std::string(40, 'L') + std::string(60, 'M');
const std::string accented50 = [] {
    std::string s;
    for (int i = 0; i < 50; ++i)
        s += "\xC3\x85"; // Å, two bytes
    return s;
}();

struct ListCase
{
    const char *name;
    std::vector<FakeUsbDevice> devices;
    Root root;
    FT_STATUS status;
    std::vector<std::string> descriptions;
};

const ListCase listCases[] = {
    {"Ft4222TwoInterfaces", {ft4222}, Root::Tree, 0, {"FT4222 A", "FT4222 B"}},
    {"SingleInterfaceFtdi", {ft232r}, Root::Tree, 0, {"FT232R USB UART"}},
    {"NonFtdiDevice", {mouse}, Root::Tree, 0, {}},
    {"MixedInEntryNameOrder", {ft4222, mouse, ft232r}, Root::Tree, 0, {"FT232R USB UART", "FT4222 A", "FT4222 B"}},
    {"Product100TwoInterfaces",
     {{"2-1", "0403", "601c", long100, std::nullopt, 2}},
     Root::Tree,
     0,
     {long100.substr(0, 61) + " A", long100.substr(0, 61) + " B"}},
    {"Product100OneInterface",
     {{"2-1", "0403", "6015", long100, std::nullopt, 1}},
     Root::Tree,
     0,
     {long100.substr(0, 63)}},
    {"CutKeepsWholeUtf8Characters",
     {{"2-1", "0403", "6015", accented50, std::nullopt, 1}},
     Root::Tree,
     0,
     {accented50.substr(0, 62)}},
    {"UnconfiguredDeviceListedOnce",
     {{"2-1", "0403", "6014", "FT232H", std::nullopt, std::nullopt}},
     Root::Tree,
     0,
     {"FT232H"}},
    {"ZeroInterfacesListedOnce", {{"2-1", "0403", "6014", "FT232H", std::nullopt, 0}}, Root::Tree, 0, {"FT232H"}},
    {"NoProductString", {{"2-1", "0403", "6014", std::nullopt, std::nullopt, 2}}, Root::Tree, 0, {" A", " B"}},
    {"NoUsbBus", {ft4222}, Root::Missing, 0, {}},
    {"UnreadableSysfs", {ft4222}, Root::NotADirectory, 18, {}},
};

using Vantrel::Test::operator<<;

class StandinList : public testing::TestWithParam<ListCase>
{};

TEST_P(StandinList, ListsEveryFtdiInterface)
{
    const ListCase &c = GetParam();
    SysfsTree tree;
    pointStandinAt(tree, c.devices, c.root);

    uint32_t count = 12345;
    ASSERT_EQ(FT_CreateDeviceInfoList(&count), c.status);
    ASSERT_EQ(count, c.descriptions.size());

    for (uint32_t i = 0; i < count; ++i) {
        SCOPED_TRACE(i);
        uint32_t flags = 1, type = 1, id = 0, locId = 0;
        char serial[16];
        char description[64];
        std::memset(serial, 0x7F, sizeof serial);
        std::memset(description, 0x7F, sizeof description);
        FT_HANDLE handle = &count;
        ASSERT_EQ(FT_GetDeviceInfoDetail(i, &flags, &type, &id, &locId, serial, description, &handle), 0u);
        ASSERT_NE(std::memchr(description, '\0', sizeof description), nullptr);
        ASSERT_NE(std::memchr(serial, '\0', sizeof serial), nullptr);
        EXPECT_EQ(std::string(description), c.descriptions[i]);
        EXPECT_EQ(handle, nullptr);
        EXPECT_EQ(id >> 16, 0x0403u);
    }
    uint32_t flags = 0;
    EXPECT_EQ(FT_GetDeviceInfoDetail(count, &flags, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 2u);
}

INSTANTIATE_TEST_SUITE_P(Trees, StandinList, testing::ValuesIn(listCases), Vantrel::Test::RowName());

// The stand-in pointed at a tree that holds one FT4222 bridge, listed once.
class StandinWithBridge : public testing::Test
{
protected:
    void SetUp() override
    {
        pointStandinAt(tree, {ft4222}, Root::Tree);
        ASSERT_EQ(FT_CreateDeviceInfoList(&count), 0u);
        ASSERT_EQ(count, 2u);
    }

    SysfsTree tree;
    uint32_t count = 0;
};

TEST_F(StandinWithBridge, ReportsIdsSerialsAndLocation)
{
    const char *const serials[] = {"FT5X1Y2ZA", "FT5X1Y2ZB"};
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t flags = 1, type = 1, id = 0, locId = 0;
        char serial[16] = {};
        ASSERT_EQ(FT_GetDeviceInfoDetail(i, &flags, &type, &id, &locId, serial, nullptr, nullptr), 0u);
        EXPECT_EQ(flags, 0u);
        EXPECT_EQ(id, 0x0403601Cu);
        EXPECT_EQ(locId, 1u << 8 | 7u);
        EXPECT_STREQ(serial, serials[i]);
    }
}

TEST_F(StandinWithBridge, EveryListCallReadsSysfsAfresh)
{
    pointStandinAt(tree, {}, Root::NotADirectory);
    EXPECT_EQ(FT_CreateDeviceInfoList(&count), 18u);
    EXPECT_EQ(count, 0u);
    char description[64];
    EXPECT_EQ(FT_GetDeviceInfoDetail(0, nullptr, nullptr, nullptr, nullptr, nullptr, description, nullptr), 2u);
}

TEST(Standin, RejectsMissingCount)
{
    EXPECT_EQ(FT_CreateDeviceInfoList(nullptr), 6u);
}

// The bridge check on top of the stand-in, as the program runs it.
struct BridgeCase
{
    const char *name;
    std::vector<FakeUsbDevice> devices;
    Root root;
    bool present;
    std::string stderrText;
};

const FakeUsbDevice quad1{"3-1", "0403", "6011", "Quad RS232-HS", std::nullopt, 3};
const FakeUsbDevice quad2{"3-2", "0403", "6011", "Quad RS232-HS", std::nullopt, 3};
const FakeUsbDevice quad3{"3-3", "0403", "6011", "Quad RS232-HS", std::nullopt, 3};

const BridgeCase bridgeCases[] = {
    {"Ft4222Attached", {mouse, ft232r, ft4222}, Root::Tree, true, ""},
    {"NothingAttached", {mouse}, Root::Tree, false, ""},
    {"NoUsbBus", {}, Root::Missing, false, ""},
    {"ElevenInterfaces", {ft4222, quad1, quad2, quad3}, Root::Tree, false, "List ft usb dev failed\n"},
    {"UnreadableSysfs",
     {},
     Root::NotADirectory,
     false,
     "Failure: \"FT_CreateDeviceInfoList(&len_u32)\" = FT_OTHER_ERROR(18)\nList ft usb dev failed\n"},
};

class BridgeOnStandin : public testing::TestWithParam<BridgeCase>
{};

TEST_P(BridgeOnStandin, FindsTheBridge)
{
    const BridgeCase &c = GetParam();
    SysfsTree tree;
    pointStandinAt(tree, c.devices, c.root);

    OutputCapture capture(stderr);
    const bool present = Vantrel::bridgePresent();
    EXPECT_EQ(capture.finish(), c.stderrText);
    EXPECT_EQ(present, c.present);
}

INSTANTIATE_TEST_SUITE_P(Trees, BridgeOnStandin, testing::ValuesIn(bridgeCases), Vantrel::Test::RowName());

} // namespace
