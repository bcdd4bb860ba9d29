#include "runtime/runtimeversion.h"
#include "runtime/weavegraphrunner.h"
#include "tests/support/queuedsignalspy.h"
#include "tests/support/tablerows.h"

#include <QHash>
#include <QMetaEnum>
#include <QMetaType>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace Vantrel {
namespace {

using Vantrel::Test::operator<<;

struct VersionCase
{
    const char *name;
    const char *text;
    uint32_t major, minor, patch;
};

class ParseVersion : public ::testing::TestWithParam<VersionCase>
{};

TEST_P(ParseVersion, ReadsTheFirstThreeNumbers)
{
    const VersionCase &c = GetParam();
    EXPECT_EQ(parseVersion(QString::fromLatin1(c.text)), QVersionNumber(int(c.major), int(c.minor), int(c.patch)));
}

INSTANTIATE_TEST_SUITE_P(Cases, ParseVersion,
                         ::testing::Values(VersionCase{"ThreeNumbers", "6.4.53", 6, 4, 53},
                                           VersionCase{"LettersBetween", "v10x2y3", 10, 2, 3},
                                           VersionCase{"TwoNumbers", "1.2", 0, 0, 0}, VersionCase{"Empty", "", 0, 0, 0},
                                           VersionCase{"MajorTooLarge", "70000.1.2", 0, 1, 2},
                                           VersionCase{"PatchTooLarge", "65535.0.65536", 65535, 0, 0},
                                           VersionCase{"FirstThreeOfSeveral", "release 1-2-3 build 7.8.9", 1, 2, 3},
                                           VersionCase{"FourNumbers", "1.2.3.4", 1, 2, 3},
                                           VersionCase{"LeadingZeros", "007.08.9", 7, 8, 9}),
                         Vantrel::Test::RowName());

// Named by the type name they look up: "::" and "<>" leave it out of GoogleTest's own names.
struct MetaTypeCase
{
    const char *name;
    int (*expectedId)();
};

class RegisteredMetaTypes : public ::testing::TestWithParam<MetaTypeCase>
{};

TEST_P(RegisteredMetaTypes, NameResolvesToItsType)
{
    WeaveGraphRunner runner;
    EXPECT_EQ(QMetaType::type(GetParam().name), GetParam().expectedId()) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Names, RegisteredMetaTypes,
    ::testing::Values(MetaTypeCase{"int16_t", [] { return qMetaTypeId<int16_t>(); }},
                      MetaTypeCase{"int32_t", [] { return qMetaTypeId<int32_t>(); }},
                      MetaTypeCase{"uint32_t", [] { return qMetaTypeId<uint32_t>(); }},
                      MetaTypeCase{"int64_t", [] { return qMetaTypeId<int64_t>(); }},
                      MetaTypeCase{"std::vector<uint8_t>", [] { return qMetaTypeId<std::vector<uint8_t>>(); }},
                      MetaTypeCase{"QVector<QPointF>", [] { return qMetaTypeId<QVector<QPointF>>(); }},
                      MetaTypeCase{"Vantrel::DetectionZone", [] { return qMetaTypeId<DetectionZone>(); }},
                      MetaTypeCase{"R5RangeDopplerType", [] { return qMetaTypeId<R5::RangeDoppler::Enum>(); }},
                      MetaTypeCase{"R5Proximity2DType", [] { return qMetaTypeId<R5::Proximity2D::Enum>(); }},
                      MetaTypeCase{"R5::Proximity2D::Enum", [] { return qMetaTypeId<R5::Proximity2D::Enum>(); }},
                      MetaTypeCase{"Vantrel::R5::Proximity2D::Enum",
                                   [] { return qMetaTypeId<R5::Proximity2D::Enum>(); }}));

// One value per payload type of the runner's signals, spelled as the signals spell them.
struct Sample
{
    QVariant value;
    std::function<bool(const QVariant &)> matches;
};

template <typename T>
Sample sample(const T &value)
{
    return {QVariant::fromValue(value), [value](const QVariant &arrived) { return arrived.value<T>() == value; }};
}

const QHash<QByteArray, Sample> &samples()
{
    static const QHash<QByteArray, Sample> table{
        {"bool", sample(true)},
        {"uchar", sample(uchar(1))},
        {"int", sample(-3)},
        {"uint", sample(9u)},
        {"float", sample(2.5f)},
        {"int32_t", sample(int32_t(-4))},
        {"uint32_t", sample(uint32_t(4000000000u))},
        {"int64_t", sample(int64_t(1634552761952))},
        {"std::vector<uint8_t>", sample(std::vector<uint8_t>{1, 2, 3})},
        {"QVector<quint32>", sample(QVector<quint32>{7, 8})},
        {"QVector<float>", sample(QVector<float>{0.5f})},
        {"QVector<QPointF>", sample(QVector<QPointF>{QPointF(6.88, -1.5)})},
        {"QString", sample(QStringLiteral("went wrong"))},
    };
    return table;
}

// Every signal of the runner is emitted on a worker thread and must reach a receiver on the main
// thread with its values; a signal added with a payload type that cannot be queued fails here.
TEST(RunnerSignals, EveryOneArrivesAcrossThreadsWithItsValues)
{
    WeaveGraphRunner runner;
    const QMetaObject &meta = WeaveGraphRunner::staticMetaObject;
    int checked = 0;
    for (int index = meta.methodOffset(); index < meta.methodCount(); ++index) {
        const QMetaMethod signal = meta.method(index);
        if (signal.methodType() != QMetaMethod::Signal)
            continue;
        SCOPED_TRACE(signal.methodSignature().toStdString());
        QList<Sample> values;
        std::vector<QGenericArgument> arguments(10);
        for (int i = 0; i < signal.parameterCount(); ++i) {
            const QByteArray type = signal.parameterTypes().at(i);
            ASSERT_TRUE(samples().contains(type)) << "no sample value for " << type.toStdString();
            values << samples().value(type);
            arguments[size_t(i)] = QGenericArgument(type.constData(), values.constLast().value.constData());
        }
        Vantrel::Test::QueuedSignalSpy spy(&runner, signal);
        ASSERT_TRUE(spy.isConnected());

        std::unique_ptr<QThread> emitter(QThread::create([&] {
            signal.invoke(&runner, Qt::DirectConnection, arguments[0], arguments[1], arguments[2], arguments[3],
                          arguments[4], arguments[5], arguments[6], arguments[7], arguments[8], arguments[9]);
        }));
        emitter->start();
        emitter->wait();

        ASSERT_TRUE(spy.wait(5000));
        ASSERT_EQ(spy.emissions().size(), 1);
        const QVariantList &arrived = spy.emissions().constFirst();
        ASSERT_EQ(arrived.size(), values.size());
        for (int i = 0; i < values.size(); ++i)
            EXPECT_TRUE(values.at(i).matches(arrived.at(i))) << "argument " << i;
        ++checked;
    }
    EXPECT_EQ(checked, 12);
}

TEST(RunnerEnums, AreOneByteAndKnownToTheMetaObjectSystem)
{
    static_assert(sizeof(R5::Proximity2D::Enum) == 1, "one byte on the wire");
    static_assert(sizeof(R5::RangeDoppler::Enum) == 1, "one byte on the wire");
    const QMetaEnum proximity = QMetaEnum::fromType<R5::Proximity2D::Enum>();
    EXPECT_STREQ(proximity.scope(), "Vantrel::R5::Proximity2D");
    EXPECT_EQ(proximity.keyToValue("Slow"), 1);
    const QMetaEnum rangeDoppler = QMetaEnum::fromType<R5::RangeDoppler::Enum>();
    EXPECT_EQ(rangeDoppler.keyCount(), 6);
    EXPECT_EQ(rangeDoppler.keyToValue("RightSlow"), 5);
}

TEST(DetectionZone, DefaultsAndQueuedCopies)
{
    WeaveGraphRunner runner;
    DetectionZone zone;
    EXPECT_EQ(zone.index, 0u);
    EXPECT_EQ(zone.count, 1u);
    EXPECT_FALSE(zone.valid);
    zone.start = 1.5f;
    const QVariant copy = QVariant::fromValue(zone);
    EXPECT_EQ(copy.userType(), QMetaType::type("Vantrel::DetectionZone"));
    EXPECT_EQ(copy.value<DetectionZone>().start, 1.5f);
}

} // namespace
} // namespace Vantrel
