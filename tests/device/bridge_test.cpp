#include "device/bridge.h"
#include "tests/device/ft4222double.h"
#include "tests/support/outputcapture.h"
#include "tests/support/tablerows.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

using Vantrel::Test::OutputCapture;

namespace {

using Ft4222Double::Script;

const std::string listFailed = "List ft usb dev failed\n";
const std::string detailCallText =
    "FT_GetDeviceInfoDetail((DWORD)i, &info->Flags, &info->Type, &info->ID, &info->LocId, "
    "&info->SerialNumber, &info->Description, &info->ftHandle)";

std::string listFailure(const std::string &status)
{
    return "Failure: \"FT_CreateDeviceInfoList(&len_u32)\" = " + status + "\n" + listFailed;
}

std::vector<uint32_t> indicesUpTo(uint32_t count)
{
    std::vector<uint32_t> indices;
    for (uint32_t i = 0; i < count; ++i)
        indices.push_back(i);
    return indices;
}

// 64 bytes without a terminator, ending in "FT4222"; the handle that follows it in the record
// holds the bytes " A" on little-endian targets, so only a search that stays inside the field
// keeps from matching.
std::string fullFieldEndingInFt4222()
{
    return std::string(58, 'x') + "FT4222";
}

struct BridgeCase
{
    const char *name;
    Script script;
    bool present;
    std::string stderrText;
    std::vector<uint32_t> detailIndices;
};

// What the library answers, built up one aspect at a time.
Script listing(std::vector<std::string> descriptions)
{
    Script script;
    script.descriptions = std::move(descriptions);
    return script;
}

Script listCallFails(FT_STATUS status, std::vector<std::string> descriptions = {})
{
    Script script = listing(std::move(descriptions));
    script.listStatus = status;
    return script;
}

Script countOf(uint32_t count)
{
    Script script;
    script.count = count;
    return script;
}

Script detailCallFails(std::vector<std::string> descriptions, uint32_t index, FT_STATUS status)
{
    Script script = listing(std::move(descriptions));
    script.failingIndex = index;
    script.detailStatus = status;
    return script;
}

Script withHandle(std::vector<std::string> descriptions, uintptr_t handle)
{
    Script script = listing(std::move(descriptions));
    script.handle = reinterpret_cast<FT_HANDLE>(handle);
    return script;
}

std::vector<std::string> tenWithBridgeLast()
{
    std::vector<std::string> d(8, "FT232R USB UART");
    d.push_back("FT4222 A");
    d.push_back("FT4222 B");
    return d;
}

std::vector<std::string> elevenWithBridge()
{
    std::vector<std::string> d = tenWithBridgeLast();
    d.insert(d.begin(), "FT4222 A");
    return d;
}

const BridgeCase bridgeCases[] = {
    {"NoDevices", listing({}), false, "", {}},
    {"BothAmongOthers", listing({"USB <-> Serial", "FT4222 A", "FT232R USB UART", "FT4222 B"}), true, "",
     indicesUpTo(4)},
    {"BothReversed", listing({"FT4222 B", "Dual RS232 A", "FT4222 A"}), true, "", indicesUpTo(3)},
    {"OnlyA", listing({"FT4222 A"}), false, "", indicesUpTo(1)},
    {"OnlyBAmongOthers", listing({"Dual RS232 A", "FT4222 B", "Dual RS232 B"}), false, "", indicesUpTo(3)},
    {"TextAroundNames", listing({"Radar FT4222 A (rev 2)", "xFT4222 B"}), true, "", indicesUpTo(2)},
    {"OneRecordHoldsBoth", listing({"FT4222 A/FT4222 B"}), true, "", indicesUpTo(1)},
    {"CaseSensitive", listing({"ft4222 a", "FT4222 B"}), false, "", indicesUpTo(2)},
    {"TenAcceptedBridgeLast", listing(tenWithBridgeLast()), true, "", indicesUpTo(10)},
    {"ElevenIsFailureEvenWithBridge", listing(elevenWithBridge()), false, listFailed, {}},
    {"HugeCountIsFailure", countOf(0xFFFFFFFFu), false, listFailed, {}},
    {"ListDeviceNotFound",
     listCallFails(2, {"FT4222 A", "FT4222 B"}),
     false,
     listFailure("FT_DEVICE_NOT_FOUND(2)"),
     {}},
    {"ListUnknownStatus", listCallFails(25), false, listFailure("unknown(25)"), {}},
    {"ListStatusShownSigned", listCallFails(0xFFFFFFFFu), false, listFailure("unknown(-1)"), {}},
    {"DetailFailsAtIndexOne", detailCallFails({"FT4222 A", "FT4222 B", "FT4222 A"}, 1, 4), false,
     "Failure: \"" + detailCallText + "\" = FT_IO_ERROR(4)\n" + listFailed, indicesUpTo(2)},
    {"DescriptionSearchStaysInField", withHandle({fullFieldEndingInFt4222(), "FT4222 B"}, 0x4120), false, "",
     indicesUpTo(2)},
};

using Vantrel::Test::operator<<;

class BridgePresent : public testing::TestWithParam<BridgeCase>
{};

TEST_P(BridgePresent, ReportsBridgeAndFailures)
{
    const BridgeCase &c = GetParam();
    // Twice: the check keeps no state, and each call must clear the records it reuses.
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        Ft4222Double::load(c.script);
        OutputCapture capture(stderr);
        const bool present = Vantrel::bridgePresent();
        const std::string written = capture.finish();

        EXPECT_EQ(present, c.present);
        EXPECT_EQ(written, c.stderrText);
        EXPECT_EQ(Ft4222Double::calls().listCalls, 1);
        EXPECT_EQ(Ft4222Double::calls().detailIndices, c.detailIndices);
        EXPECT_EQ(Ft4222Double::calls().uncleared, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, BridgePresent, testing::ValuesIn(bridgeCases), Vantrel::Test::RowName());

struct NameCase
{
    FT_STATUS code;
    const char *name;
};

TEST(StatusName, NamesDefinedCodesAndCallsTheRestUnknown)
{
    const NameCase cases[] = {
        {0, "FT_OK"},
        {1, "FT_INVALID_HANDLE"},
        {8, "FT_DEVICE_NOT_OPENED_FOR_ERASE"},
        {10, "FT_FAILED_TO_WRITE_DEVICE"},
        {17, "FT_NOT_SUPPORTED"},
        {18, "FT_OTHER_ERROR"},
        {19, "FT_DEVICE_LIST_NOT_READY"},
        {20, "unknown"},
        {25, "unknown"},
        {0xFFFFFFFFu, "unknown"},
    };
    for (const NameCase &c : cases)
        EXPECT_STREQ(Vantrel::statusName(c.code), c.name) << c.code;
}

} // namespace
