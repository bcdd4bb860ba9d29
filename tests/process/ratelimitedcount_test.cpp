// A flood of like events told in a few lines: when a run begins, when its count is told and what the
// count says.
#include "process/ratelimitedcount.h"
#include "tests/support/tablerows.h"

#include <gtest/gtest.h>

#include <string>

namespace Vantrel {
namespace {

using Vantrel::Test::operator<<;

// Events: 'b' begin a run ("B" when it began), 'a' an event counted, 'r' "R" while recent, 'd' the
// count told if due, 't' the count told, '+' a tenth of a second passes. A told count reads
// "<count>/<ms>".
struct CountCase
{
    const char *name;
    const char *events;
    std::string told;
};

class RateLimitedCountTest : public ::testing::TestWithParam<CountCase>
{};

TEST_P(RateLimitedCountTest, TellsAsExpected)
{
    qint64 now = 0;
    std::string told;
    RateLimitedCount count(
        1000, [&told](quint64 n, qint64 ms) { told += std::to_string(n) + "/" + std::to_string(ms) + " "; },
        [&now] { return now; });
    for (const char *event = GetParam().events; *event; ++event) {
        if (*event == '+')
            now += 100;
        else if (*event == 'b')
            told += count.beginRun() ? "B " : "";
        else if (*event == 'a')
            count.add();
        else if (*event == 'r')
            told += count.recent() ? "R " : "";
        else if (*event == 'd')
            count.tellIfDue();
        else
            count.tell();
    }
    EXPECT_EQ(told, GetParam().told);
}

const CountCase countCases[] = {
    {"NothingCountedNothingTold", "rb++++++++++dt", "B "},
    {"ToldOnceAnIntervalHasPassed", "ba+a+d++++++++d", "B 2/1000 "},
    {"ToldAtTheEndWhateverTheTime", "baa+t", "B 2/100 "},
    {"ARunBeginsOnlyWhenNothingIsCounted", "babtb", "B 1/0 B "},
    {"RecentAgainAfterTheCountIsTold", "bar++++++++++d+++++r+++++r", "B R 1/1000 R "},
};

INSTANTIATE_TEST_SUITE_P(Runs, RateLimitedCountTest, ::testing::ValuesIn(countCases), Vantrel::Test::RowName());

} // namespace
} // namespace Vantrel
