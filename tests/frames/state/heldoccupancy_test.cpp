// Occupancy that ends when its hold runs out, with no report to tell it.
#include "frames/state/heldoccupancy.h"

#include <QElapsedTimer>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace Vantrel {
namespace {

TEST(HeldOccupancy, EndsWhenTheHoldRunsOutWithNoReportAfterIt)
{
    HeldOccupancy occupancy;
    occupancy.setHoldSeconds(0.3);
    QSignalSpy changes(&occupancy, &HeldOccupancy::occupancyChanged);
    occupancy.report(true);
    QElapsedTimer sinceAbsent;
    sinceAbsent.start();
    occupancy.report(false);
    EXPECT_TRUE(occupancy.occupancy());

    ASSERT_TRUE(changes.wait(5000));
    ASSERT_EQ(changes.count(), 2);
    EXPECT_EQ(changes.at(0).at(0).toBool(), true);
    EXPECT_EQ(changes.at(1).at(0).toBool(), false);
    EXPECT_GE(sinceAbsent.elapsed(), 300);
    EXPECT_FALSE(occupancy.occupancy());
}

TEST(HeldOccupancy, PresenceOrANewHoldTimeEndsAHoldAtOnce)
{
    HeldOccupancy occupancy;
    occupancy.setHoldSeconds(60);
    QSignalSpy changes(&occupancy, &HeldOccupancy::occupancyChanged);
    occupancy.report(true);
    occupancy.report(false);
    occupancy.report(true); // presence again: still occupied, no change told
    occupancy.report(false);
    EXPECT_EQ(changes.count(), 1);

    occupancy.setHoldSeconds(0); // occupancy is presence from now on
    ASSERT_EQ(changes.count(), 2);
    EXPECT_FALSE(changes.at(1).at(0).toBool());
    EXPECT_FALSE(changes.wait(400)); // no timer left behind
}

} // namespace
} // namespace Vantrel
