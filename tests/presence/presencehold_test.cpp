#include "presence/presencehold.h"

#include "tests/support/tablerows.h"

#include <gtest/gtest.h>

#include <vector>

namespace Vantrel::Test {
namespace {

using Vantrel::Test::operator<<;

struct Report
{
    qint64 atMs;
    bool presence;
    bool occupancy; // expected
    double newHold = -1; // >= 0: the hold time changes at atMs, before the report
};

struct HoldRow
{
    std::string name;
    double holdSeconds;
    std::vector<Report> reports;
};

class PresenceHoldTest : public ::testing::TestWithParam<HoldRow>
{};

TEST_P(PresenceHoldTest, HeldOccupancy)
{
    qint64 now = 0;
    PresenceHold hold(GetParam().holdSeconds, [&now] { return now; });
    for (const Report &report : GetParam().reports) {
        now = report.atMs;
        if (report.newHold >= 0)
            hold.setHoldSeconds(report.newHold);
        EXPECT_EQ(hold.report(report.presence), report.occupancy) << "report at " << report.atMs << " ms";
        EXPECT_EQ(hold.occupancy(), report.occupancy);
    }
}

const HoldRow rows[] = {
    {"NoHoldFollowsPresence", 0, {{0, true, true}, {1, false, false}, {2, true, true}, {90000, false, false}}},
    {"HeldWithinHoldTime", 5, {{0, true, true}, {1000, false, true}, {4000, false, true}}},
    {"FallsAfterHoldTime", 5, {{0, true, true}, {1000, false, true}, {4000, false, true}, {7000, false, false}}},
    {"EndNoticedAtFirstLaterReport",
     5,
     {{0, true, true}, {1000, false, true}, {5999, false, true}, {6000, false, false}}},
    {"PresenceStopsHold",
     5,
     {{0, true, true},
      {1000, false, true},
      {3000, true, true},
      {4000, false, true},
      {8500, false, true},
      {9000, false, false}}},
    {"HoldStartsOnlyAfterPresence", 5, {{0, false, false}, {1000, false, false}}},
    {"NoRestartWhileHolding",
     5,
     {{0, true, true}, {1000, false, true}, {5000, false, true}, {6000, false, false}, {6500, false, false}}},
    {"FractionOfMillisecondDropped", 0.0019, {{0, true, true}, {10, false, true}, {11, false, false}}},
    {"HoldAgainAfterPresenceReturns",
     1,
     {{0, true, true},
      {100, false, true},
      {1100, false, false},
      {1200, true, true},
      {1300, false, true},
      {2299, false, true},
      {2300, false, false}}},
    // Hold times read again: the new time counts from the last presence, as in the main program.
    {"LongerHoldRestartsFromLastPresence",
     1,
     {{0, true, true},
      {500, false, true},
      {1500, false, false},
      {2000, false, true, 3},
      {2999, false, true},
      {3000, false, false}}},
    {"ShorterHoldEndsHold", 5, {{0, true, true}, {500, false, true}, {2000, false, false, 1}}},
    {"HoldOffEndsHold",
     5,
     {{0, true, true}, {100, false, true}, {200, false, false, 0}, {300, true, true}, {301, false, false}}},
    {"HoldSetFromNoneCoversWhoJustLeft",
     0,
     {{0, true, true}, {500, false, false}, {1000, false, true, 3}, {2999, false, true}, {3000, false, false}}},
    {"NewHoldWhilePresentAppliesNextTime",
     1,
     {{0, true, true}, {100, true, true, 3}, {200, false, true}, {3199, false, true}, {3200, false, false}}},
};

INSTANTIATE_TEST_SUITE_P(Cases, PresenceHoldTest, ::testing::ValuesIn(rows), RowName());

} // namespace
} // namespace Vantrel::Test
