// The sensor's state: what each frame changes, told once per frame; the hold in force and where it
// comes from.
#include "frames/state/holdpolicy.h"
#include "frames/state/sensorstate.h"
#include "tests/support/logcapture.h"
#include "tests/support/presenceframes.h"
#include "tests/support/tablerows.h"
#include "tests/support/testfiles.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <vector>

namespace Vantrel::Test {
namespace {

using Vantrel::Test::operator<<;
using Change = SensorState::Change;

// What each telling brought: the changes, and whether a frame came with them.
struct Told final : SensorObserver
{
    void sensorChanged(const SensorState &, SensorState::Changes changes, const DecodedFrame *frame) override
    {
        changes_.push_back(changes);
        withFrame.push_back(frame != nullptr);
    }
    std::vector<SensorState::Changes> changes_;
    std::vector<bool> withFrame;
};

DecodedFrame zonesFrame(std::vector<HeatmapZone> zones)
{
    DecodedFrame frame;
    frame.kind = "heatmap";
    frame.zones = std::move(zones);
    return frame;
}

DecodedFrame proximityFrame(std::vector<ProximityTarget> targets)
{
    DecodedFrame frame;
    frame.kind = "proximity-fast";
    frame.targets = std::move(targets);
    return frame;
}

DecodedFrame powerFrame(uint effectiveRange)
{
    DecodedFrame frame;
    frame.kind = "power";
    frame.power = PowerProfile{{}, {}, {}, effectiveRange, 0};
    return frame;
}

struct FrameRow
{
    std::string name;
    std::vector<DecodedFrame> before;
    DecodedFrame frame;
    SensorState::Changes changes; // Frame is always among them
};

class SensorStateFrames : public ::testing::TestWithParam<FrameRow>
{};

TEST_P(SensorStateFrames, TellEachFrameOnceWithWhatItChanged)
{
    SensorState state;
    for (const DecodedFrame &frame : GetParam().before)
        state.frame(frame);
    Told told;
    state.addObserver(&told);
    state.frame(GetParam().frame);
    ASSERT_EQ(told.changes_.size(), 1u);
    EXPECT_EQ(told.changes_[0], GetParam().changes | Change::Frame);
    EXPECT_TRUE(told.withFrame[0]);
}

const DecodedFrame present = Fixtures::presenceFrame(true, 1200, 90);
std::vector<HeatmapZone> manyZones()
{
    std::vector<HeatmapZone> zones;
    for (int32_t index = 0; index < 100; ++index)
        zones.push_back({1, 50, index});
    return zones;
}

INSTANTIATE_TEST_SUITE_P(
    Changes, SensorStateFrames,
    ::testing::Values(
        FrameRow{"FirstPresence", {}, present, Change::Report | Change::Occupancy},
        FrameRow{"SamePresenceAgain", {present}, Fixtures::presenceFrame(true, 1500, 80), Change::Report},
        FrameRow{"PresenceEnds", {present}, Fixtures::presenceFrame(false, 0, 0), Change::Report | Change::Occupancy},
        FrameRow{"NewZone", {zonesFrame({{0, 0, 1}})}, zonesFrame({{0, 0, 1}, {1, 0, 2}}), Change::Zones},
        FrameRow{"SameZones", {zonesFrame({{1, 0, 1}})}, zonesFrame({{1, 20, 1}}), {}},
        FrameRow{"BeyondTheLastZoneKept", {zonesFrame(manyZones())}, zonesFrame({{1, 0, 500}}), {}},
        FrameRow{"NoTargetsIsATargetReport", {}, proximityFrame({}), Change::Targets},
        FrameRow{"NearestTargetMoved", {proximityFrame({{0, 1.5f, 3}})}, proximityFrame({{0, 1.4f, 3}}),
                 Change::Targets},
        FrameRow{"SameTargets", {proximityFrame({{0, 1.5f, 3}})}, proximityFrame({{0, 1.5f, 3}}), {}},
        FrameRow{"EffectiveRange", {powerFrame(250)}, powerFrame(300), Change::Power},
        FrameRow{"SameEffectiveRange", {powerFrame(250)}, powerFrame(250), {}}),
    RowName());

// A hold that runs out is told with no frame, at its time.
TEST(SensorState, HoldRunningOutIsToldWithoutAFrame)
{
    SensorState state;
    state.setHold(0.2, SensorState::HoldSource::SavedOptions);
    state.frame(present);
    state.frame(Fixtures::presenceFrame(false, 0, 0));
    Told told;
    state.addObserver(&told);
    QElapsedTimer held;
    held.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !told.changes_.empty(); }, 5000));
    EXPECT_GE(held.elapsed(), 150);
    EXPECT_EQ(told.changes_, std::vector<SensorState::Changes>{Change::Occupancy});
    EXPECT_EQ(told.withFrame, std::vector<bool>{false});
    EXPECT_FALSE(state.occupancy());
}

struct PolicyRow
{
    std::string name;
    QByteArray kept; // the state file's contents; empty: none
    bool optionsFile;
    QByteArray options; // the options file's contents; empty: none read
    QByteArray command; // from Home Assistant; empty: none
    bool changed; // what the command answers: whether it changed the hold in force
    double seconds;
    SensorState::HoldSource source;
    int warnings;
};

class HoldPolicyTest : public ::testing::TestWithParam<PolicyRow>
{
protected:
    // A file of the test's own, written first when there is something to write.
    QString file(const char *name, const QByteArray &contents)
    {
        const QString path = m_dir.filePath(QLatin1String(name));
        EXPECT_TRUE(contents.isEmpty() || writeFile(path, contents));
        return path;
    }

    QTemporaryDir m_dir;
};

TEST_P(HoldPolicyTest, DecidesTheHoldInForce)
{
    const PolicyRow &row = GetParam();
    LogCapture log;
    SensorState state;
    HoldPolicy policy(state, HoldSetting(file("hold-kitchen.json", row.kept)));
    const QString options = file("options.json", row.options);
    policy.start(row.optionsFile);
    if (row.optionsFile)
        policy.readSavedOptions(options);
    if (!row.command.isEmpty()) {
        EXPECT_EQ(policy.request(row.command), row.changed);
    }
    EXPECT_EQ(state.holdSeconds(), row.seconds);
    EXPECT_EQ(state.holdSource(), row.source);
    EXPECT_EQ(log.texts(QtWarningMsg).size(), row.warnings) << log.texts().join('\n').toStdString();
}

using Source = SensorState::HoldSource;
INSTANTIATE_TEST_SUITE_P(
    Sources, HoldPolicyTest,
    ::testing::Values(
        PolicyRow{"NothingToWaitFor", {}, false, {}, {}, false, 0, Source::Default, 0},
        PolicyRow{"SavedOptions", {}, true, R"({"timeout": 12})", {}, false, 12, Source::SavedOptions, 0},
        PolicyRow{"UnreadableOptions", {}, true, "not json", {}, false, 0, Source::Default, 1},
        PolicyRow{"KeptWinsOverOptions", R"({"hold": 30})", true, R"({"timeout": 12})", {}, false, 30,
                  Source::HomeAssistant, 0},
        PolicyRow{"BrokenKeptFile", "{", true, R"({"timeout": 12})", {}, false, 12, Source::SavedOptions, 1},
        PolicyRow{"SetFromHomeAssistant", {}, true, R"({"timeout": 12})", "45", true, 45, Source::HomeAssistant, 0},
        // Nothing changed: the caller echoes the hold in force.
        PolicyRow{"SameAsKept", R"({"hold": 30})", false, {}, "30", false, 30, Source::HomeAssistant, 0},
        PolicyRow{"RefusedCommand", {}, true, R"({"timeout": 12})", "soon", false, 12, Source::SavedOptions, 1}),
    RowName());

} // namespace
} // namespace Vantrel::Test
