#include "tests/device/ft4222double.h"

#include <algorithm>
#include <cstring>

namespace Ft4222Double {
namespace {

Script g_script;
Calls g_calls;

bool allZero(const void *data, size_t size)
{
    const auto *bytes = static_cast<const unsigned char *>(data);
    return std::all_of(bytes, bytes + size, [](unsigned char b) { return b == 0; });
}

} // namespace

void load(const Script &script)
{
    g_script = script;
    g_calls = Calls();
}

const Calls &calls()
{
    return g_calls;
}

} // namespace Ft4222Double

using namespace Ft4222Double;

extern "C" {

FT_STATUS FT_CreateDeviceInfoList(uint32_t *count)
{
    ++g_calls.listCalls;
    *count = g_script.count.value_or(static_cast<uint32_t>(g_script.descriptions.size()));
    return g_script.listStatus;
}

FT_STATUS FT_GetDeviceInfoDetail(uint32_t index, uint32_t *flags, uint32_t *type, uint32_t *id, uint32_t *locId,
                                 void *serialNumber, void *description, FT_HANDLE *handle)
{
    g_calls.detailIndices.push_back(index);
    const bool cleared = *flags == 0 && *type == 0 && *id == 0 && *locId == 0 && allZero(serialNumber, 16)
                         && allZero(description, 64) && *handle == nullptr;
    if (!cleared)
        ++g_calls.uncleared;
    if (g_script.failingIndex == index)
        return g_script.detailStatus;
    if (index >= g_script.descriptions.size())
        return 2;

    // Fill every field, so that a record reused without clearing is noticed on the next call.
    *flags = 0x2;
    *type = 12;
    *id = 0x0403601c;
    *locId = 0x100 + index;
    std::memset(serialNumber, 'S', 16);
    const std::string &text = g_script.descriptions[index];
    std::memset(description, 0, 64);
    std::memcpy(description, text.data(), std::min<size_t>(text.size(), 64));
    *handle = g_script.handle;
    return 0;
}
}
