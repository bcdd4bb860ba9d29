// Frames as the runner publishes them: the raw copy first, then the decoded values.
#include "platform/weavegraph/framevocabulary.h"
#include "runtime/handedframe.h"
#include "runtime/runnersignals.h"
#include "runtime/weavegraphrunner.h"
#include "tests/support/logcapture.h"
#include "tests/support/testframebuilder.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace Vantrel {
namespace {

namespace Key = Frames::Key;
namespace Output = Frames::Output;

TEST(RunnerSignals, PublishTheRawCopyThenTheDecodedValuesInOrder)
{
    const std::vector<uint8_t> frame =
        Fixtures::singleSignalFrame(Key::SignalSemanticTarget, {Fixtures::floatArray(Key::ArraySemanticProximityRows,
                                                                                     {1.0f, 0, 0.5f, 2.0f, 0, 0.25f},
                                                                                     std::vector<uint16_t>{2, 3})});
    WeaveGraphRunner runner;
    QStringList order;
    std::vector<uint8_t> raw;
    QObject::connect(&runner, &WeaveGraphRunner::newRawData, [&](uint32_t, std::vector<uint8_t> data) {
        order << QStringLiteral("raw");
        raw = std::move(data);
    });
    QObject::connect(&runner, &WeaveGraphRunner::newHpdData, [&] { order << QStringLiteral("hpd"); });
    QObject::connect(&runner, &WeaveGraphRunner::newProximity2DData, [&] { order << QStringLiteral("proximity"); });

    HandedFrame handed;
    EXPECT_EQ(handed.read(Output::ProximityFast, frame.data(), static_cast<int32_t>(frame.size()), true), 0);
    RunnerSignals(runner).publish(handed);

    EXPECT_EQ(order, (QStringList{"raw", "proximity", "hpd", "proximity"}));
    EXPECT_EQ(raw, frame);
}

TEST(RunnerSignals, ANegativeLengthIsAnEmptyFrame)
{
    WeaveGraphRunner runner;
    QStringList order;
    std::vector<uint8_t> raw{1};
    QObject::connect(&runner, &WeaveGraphRunner::newRawData, [&](uint32_t, std::vector<uint8_t> data) {
        order << QStringLiteral("raw");
        raw = std::move(data);
    });
    QObject::connect(&runner, &WeaveGraphRunner::newHpdData, [&] { order << QStringLiteral("hpd"); });
    Vantrel::Test::LogCapture messages;
    const uint8_t byte = 0;

    HandedFrame handed;
    EXPECT_EQ(handed.read(0x12345678, &byte, -5, true), 0);
    RunnerSignals(runner).publish(handed);

    EXPECT_EQ(order, QStringList{"raw"});
    EXPECT_TRUE(raw.empty());
}

} // namespace
} // namespace Vantrel
