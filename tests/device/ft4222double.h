#ifndef VANTREL_TESTS_FT4222DOUBLE_H
#define VANTREL_TESTS_FT4222DOUBLE_H

#include "platform/ft4222/ft4222.h"

#include <optional>
#include <string>
#include <vector>

// Test double of the two bridge-library calls. A script says what the library answers; the
// double records how it was called.
namespace Ft4222Double {

struct Script
{
    FT_STATUS listStatus = 0;
    // Count reported by the list call; the number of descriptions when not given.
    std::optional<uint32_t> count;
    // Description bytes per index; one of 64 bytes is stored without a terminating NUL.
    std::vector<std::string> descriptions;
    // Handle reported for every record.
    FT_HANDLE handle = nullptr;
    std::optional<uint32_t> failingIndex;
    FT_STATUS detailStatus = 0;
};

struct Calls
{
    int listCalls = 0;
    std::vector<uint32_t> detailIndices;
    // Detail calls whose record was not all zero on entry.
    int uncleared = 0;
};

void load(const Script &script);
const Calls &calls();

} // namespace Ft4222Double

#endif
