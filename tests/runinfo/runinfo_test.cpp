// The run configuration over a catalogue loaded from a real bundle.
#include "algorithmloader.h"
#include "bundlebuilder.h"
#include "logcapture.h"
#include "runinfo.h"

#include <QMetaMethod>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

using namespace Vantrel;
using namespace Vantrel::Test;

namespace {

// Presence 1.4 with sensor S1 (parameters in file order: mode {fast (default), slow},
// gain {g1}, range {near, far}) and sensor S2 without parameters; Other 2.0 with one sensor.
const QByteArray presence = R"({"name":"Presence","description":"d","algorithmVersion":"1.4.2","flow":"algo.flow",
    "output":"Q3-HPD","outputFrequency":10,"timeoutRangeSeconds":{"start":1,"end":100,"default":30,"increments":1},
    "sensors":[
      {"name":"S1","description":"d","flow":"s1.flow","options":[
        {"name":"mode","description":"d","values":[{"name":"slow","parb":"slow.parb"},
                                                   {"name":"fast","parb":"fast.parb","default":true}]},
        {"name":"gain","values":[{"name":"g1","parb":"gain.parb"}]},
        {"name":"range","description":"d","values":[{"name":"near","parb":"near.parb"},{"name":"far","parb":"far.parb"}]}]},
      {"name":"S2","description":"d"}]})";

const QByteArray other = R"({"name":"Other","description":"d","algorithmVersion":"2.0.0","output":"Q9",
    "outputFrequency":25,"timeoutRangeSeconds":{"start":0,"end":50,"default":5,"increments":1},
    "sensors":[{"name":"S1","description":"d","options":[{"name":"x","values":[{"name":"only","parb":"x.parb"}]}]}]})";

class RunInfoTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        QTemporaryDir directory;
        const QString bundle = directory.filePath(QStringLiteral("runinfo.hpd"));
        ASSERT_TRUE(BundleBuilder()
                        .addDefinition(QStringLiteral("ri_presence"), presence)
                        .addDefinition(QStringLiteral("ri_other"), other)
                        .build(bundle));
        LogCapture quiet;
        loader = std::make_unique<AlgorithmLoader>();
        loader->loadFromFile(bundle);
        ASSERT_EQ(loader->algorithms().keys(), QStringList({"Other 2.0", "Presence 1.4"}));
    }

    static void TearDownTestSuite() { loader.reset(); }

    static std::unique_ptr<AlgorithmLoader> loader;
    LogCapture log;
    RunInfo runInfo{*loader};
};

std::unique_ptr<AlgorithmLoader> RunInfoTest::loader;

// Names every signal of a RunInfo in the order in which it is emitted. RunInfo reacts to its
// own change signals through connections made in its constructor, which would run before any
// observer and hide the order; so the recorder goes first and the reactions are attached again
// after it.
class EmissionRecorder : public QObject
{
    Q_OBJECT
public:
    explicit EmissionRecorder(RunInfo &runInfo)
    {
        const bool detached = disconnect(&runInfo, SIGNAL(algorithmChanged()), &runInfo, nullptr)
                              && disconnect(&runInfo, SIGNAL(sensorChanged()), &runInfo, nullptr);
        EXPECT_TRUE(detached);
        const QMetaObject &meta = RunInfo::staticMetaObject;
        const QMetaMethod record = staticMetaObject.method(staticMetaObject.indexOfSlot("record()"));
        for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
            if (meta.method(i).methodType() == QMetaMethod::Signal)
                connect(&runInfo, meta.method(i), this, record);
        }
        connect(&runInfo, SIGNAL(algorithmChanged()), &runInfo, SLOT(algorithmChangedSlot()));
        connect(&runInfo, SIGNAL(sensorChanged()), &runInfo, SLOT(sensorChangedSlot()));
    }
    QStringList names;

public Q_SLOTS:
    void record() { names.append(QString::fromLatin1(sender()->metaObject()->method(senderSignalIndex()).name())); }
};

TEST_F(RunInfoTest, FreshConfigurationIsInvalidWithoutMessages)
{
    EXPECT_FALSE(runInfo.isValid());
    EXPECT_TRUE(runInfo.algorithm().isEmpty());
    EXPECT_TRUE(runInfo.prefix().isEmpty());
    EXPECT_EQ(runInfo.output(), "Q3-HPD");
    EXPECT_EQ(runInfo.timeout(), 0);
    EXPECT_TRUE(runInfo.parbFilePaths().isEmpty());
    EXPECT_TRUE(runInfo.getOptionValue(QStringLiteral("mode")).isEmpty());
    EXPECT_TRUE(runInfo.getOptionDefaultValue(QStringLiteral("mode")).isEmpty());
    EXPECT_TRUE(log.texts().isEmpty());
}

const QStringList newAlgorithmTail{"timeoutChanged",      "timeoutStartChanged",     "timeoutEndChanged",
                                   "timeoutDefaultValueChanged", "timeoutIncrimentChanged", "outputFrequencyChanged",
                                   "outputChanged"};

TEST_F(RunInfoTest, SelectingAnAlgorithmWithoutSensorKeepsOptionValues)
{
    runInfo.setOptionValue(QStringLiteral("early"), QStringLiteral("v"), QStringLiteral("e.parb"), 0);
    EmissionRecorder recorder(runInfo);
    QSignalSpy timeout(&runInfo, &RunInfo::timeoutChanged);

    EXPECT_TRUE(runInfo.setAlgorithm(QStringLiteral("Presence 1.4")));

    EXPECT_EQ(recorder.names, QStringList{"algorithmChanged"} + newAlgorithmTail);
    ASSERT_EQ(timeout.count(), 1);
    EXPECT_EQ(timeout.at(0).at(0).toDouble(), 30);
    EXPECT_EQ(runInfo.prefix(), "ri_presence");
    EXPECT_EQ(runInfo.timeoutEnd(), 100);
    EXPECT_EQ(runInfo.getOptionValue(QStringLiteral("early")), "v");
    EXPECT_TRUE(log.texts().isEmpty());
}

TEST_F(RunInfoTest, SelectingAnotherAlgorithmClearsTheSensorAndItsValues)
{
    ASSERT_TRUE(runInfo.setAlgorithm(QStringLiteral("Presence 1.4")));
    ASSERT_TRUE(runInfo.setSensor(QStringLiteral("S1")));
    runInfo.setTimeout(42);
    EmissionRecorder recorder(runInfo);

    EXPECT_TRUE(runInfo.setAlgorithm(QStringLiteral("Other 2.0")));

    EXPECT_EQ(recorder.names, QStringList({"algorithmChanged", "sensorChanged"}) + newAlgorithmTail);
    EXPECT_TRUE(runInfo.optionValues().isEmpty());
    EXPECT_TRUE(runInfo.sensor().isEmpty());
    EXPECT_EQ(runInfo.timeout(), 5);
    EXPECT_EQ(runInfo.output(), "Q9");
    EXPECT_EQ(runInfo.prefix(), "ri_other");
}

TEST_F(RunInfoTest, AlgorithmSelectionsThatChangeNothing)
{
    // An empty name equals the empty selection.
    EmissionRecorder recorder(runInfo);
    EXPECT_TRUE(runInfo.setAlgorithm(QString()));
    EXPECT_TRUE(recorder.names.isEmpty());

    ASSERT_TRUE(runInfo.setAlgorithm(QStringLiteral("Presence 1.4")));
    ASSERT_TRUE(runInfo.setSensor(QStringLiteral("S1")));
    recorder.names.clear();
    EXPECT_TRUE(runInfo.setAlgorithm(QStringLiteral("Presence 1.4")));
    EXPECT_FALSE(runInfo.setAlgorithm(QStringLiteral("presence 1.4")));
    EXPECT_TRUE(recorder.names.isEmpty());
    EXPECT_EQ(log.texts(), QStringList{"Unknown algorithm: presence 1.4, Supported algorithms:\n\"Other 2.0\"\n"
                                       "\"Presence 1.4\""});
    EXPECT_EQ(runInfo.algorithm(), "Presence 1.4");
    EXPECT_EQ(runInfo.sensor(), "S1");
    EXPECT_EQ(runInfo.getOptionValue(QStringLiteral("gain")), "g1");
}

TEST_F(RunInfoTest, SensorSelectionMessages)
{
    EmissionRecorder recorder(runInfo);
    EXPECT_FALSE(runInfo.setSensor(QStringLiteral("S1")));
    EXPECT_TRUE(runInfo.setSensor(QString()));
    EXPECT_EQ(log.texts(), QStringList{"Algorithm must be specified before sensor"});
    log.clear();

    ASSERT_TRUE(runInfo.setAlgorithm(QStringLiteral("Presence 1.4")));
    recorder.names.clear();
    EXPECT_FALSE(runInfo.setSensor(QStringLiteral("S3")));
    EXPECT_EQ(log.texts(), QStringList{"Uknown sensor S3"});
    EXPECT_TRUE(recorder.names.isEmpty());
    EXPECT_TRUE(runInfo.sensor().isEmpty());
}

TEST_F(RunInfoTest, FixedValuesOnSelectionDefaultsOnlyWhenAsked)
{
    ASSERT_TRUE(runInfo.setAlgorithm(QStringLiteral("Presence 1.4")));
    ASSERT_TRUE(runInfo.setSensor(QStringLiteral("S1")));

    ASSERT_EQ(runInfo.optionValues().keys(), QStringList{"gain"});
    const OptionValue gain = runInfo.optionValues().value(QStringLiteral("gain"));
    EXPECT_FALSE(gain.visible);
    EXPECT_EQ(gain.index, 1);
    EXPECT_EQ(gain.valueName, "g1");
    EXPECT_EQ(gain.valueInfo.parb, "gain.parb");
    EXPECT_TRUE(gain.valueInfo.name.isEmpty());
    EXPECT_FALSE(runInfo.isValid());

    runInfo.applyDefaultValues();
    EXPECT_EQ(runInfo.optionValues().keys(), QStringList({"gain", "mode"}));
    const OptionValue mode = runInfo.optionValues().value(QStringLiteral("mode"));
    EXPECT_TRUE(mode.visible);
    EXPECT_EQ(mode.index, 0);
    EXPECT_EQ(mode.valueName, "fast");
    EXPECT_FALSE(runInfo.isValid()); // range has no default

    EmissionRecorder recorder(runInfo);
    runInfo.setOptionValue(QStringLiteral("range"), QStringLiteral("far"), QStringLiteral("far.parb"), 2);
    EXPECT_TRUE(recorder.names.isEmpty());
    EXPECT_TRUE(runInfo.isValid());
    EXPECT_EQ(runInfo.parbFilePaths(), QStringList({":/ri_presence/fast.parb", ":/ri_presence/gain.parb",
                                                    ":/ri_presence/far.parb"}));
    EXPECT_TRUE(log.texts().isEmpty());
}

TEST_F(RunInfoTest, UserValuesSurviveDefaults)
{
    ASSERT_TRUE(runInfo.setAlgorithm(QStringLiteral("Presence 1.4")));
    ASSERT_TRUE(runInfo.setSensor(QStringLiteral("S1")));
    runInfo.setOptionValue(QStringLiteral("mode"), QStringLiteral("slow"), QStringLiteral("slow.parb"), 0);
    runInfo.setOptionValue(QStringLiteral("gain"), QStringLiteral("custom"), QStringLiteral("custom.parb"), 1);
    runInfo.applyDefaultValues();
    EXPECT_EQ(runInfo.getOptionValue(QStringLiteral("mode")), "slow");
    EXPECT_EQ(runInfo.getOptionValue(QStringLiteral("gain")), "custom");
    EXPECT_TRUE(runInfo.optionValues().value(QStringLiteral("gain")).visible);

    // Changing the sensor starts afresh.
    ASSERT_TRUE(runInfo.setSensor(QStringLiteral("S2")));
    EXPECT_TRUE(runInfo.optionValues().isEmpty());
    EXPECT_TRUE(runInfo.isValid()); // no parameters at all
}

TEST_F(RunInfoTest, DefaultValueNames)
{
    EXPECT_TRUE(runInfo.getOptionDefaultValue(QStringLiteral("mode")).isEmpty());
    ASSERT_TRUE(runInfo.setAlgorithm(QStringLiteral("Presence 1.4")));
    ASSERT_TRUE(runInfo.setSensor(QStringLiteral("S1")));
    const std::pair<QString, QString> cases[] = {{"mode", "fast"}, {"gain", "g1"}, {"range", ""}, {"Mode", ""}};
    for (const auto &[parameter, expected] : cases)
        EXPECT_EQ(runInfo.getOptionDefaultValue(parameter), expected) << parameter.toStdString();
}

struct ParbCase
{
    const char *label;
    QVector<std::pair<QString, int>> entries; // parameter name and index
    QStringList expected;
    bool inconsistent;
};

TEST_F(RunInfoTest, ParbFilesFollowTheParameterIndexes)
{
    const ParbCase cases[] = {
        {"orderedByIndexNotName", {{"a", 1}, {"b", 0}}, {":/ri_presence/b.parb", ":/ri_presence/a.parb"}, false},
        {"gap", {{"a", 0}, {"b", 2}}, {}, true},
        {"negative", {{"a", -1}}, {}, true},
        {"sameIndexLaterKeyWins", {{"a", 0}, {"b", 0}}, {":/ri_presence/b.parb", ""}, false},
        {"none", {}, {}, false},
    };
    ASSERT_TRUE(runInfo.setAlgorithm(QStringLiteral("Presence 1.4")));
    for (const ParbCase &c : cases) {
        runInfo.clearOptions();
        for (const auto &[name, index] : c.entries)
            runInfo.setOptionValue(name, QStringLiteral("v"), name + QStringLiteral(".parb"), index);
        log.clear();
        EXPECT_EQ(runInfo.parbFilePaths(), c.expected) << c.label;
        EXPECT_EQ(log.texts(), c.inconsistent ? QStringList{"Inconsistent algorithm model"} : QStringList()) << c.label;
    }
}

TEST_F(RunInfoTest, OutputFrequencyFromFps)
{
    ASSERT_TRUE(runInfo.setAlgorithm(QStringLiteral("Presence 1.4")));
    EXPECT_EQ(runInfo.outputFrequency(), 10);
    const std::pair<QString, double> cases[] = {
        {"12.5", 12.5}, {"0.1", double(0.1f)}, {"abc", 10}, {"", 10}, {"1,5", 10}, {"30", 30},
    };
    for (const auto &[text, expected] : cases) {
        runInfo.setOptionValue(QStringLiteral("FPS"), text, QStringLiteral("fps.parb"), 0);
        EXPECT_EQ(runInfo.outputFrequency(), expected) << text.toStdString();
    }
}

TEST_F(RunInfoTest, FlowPrefersTheSensorsFlow)
{
    ASSERT_TRUE(runInfo.setAlgorithm(QStringLiteral("Presence 1.4")));
    EXPECT_EQ(runInfo.flowFilePath(), ":/ri_presence/algo.flow");
    ASSERT_TRUE(runInfo.setSensor(QStringLiteral("S1")));
    EXPECT_EQ(runInfo.flowFilePath(), ":/ri_presence/s1.flow");
    ASSERT_TRUE(runInfo.setSensor(QStringLiteral("S2")));
    EXPECT_EQ(runInfo.flowFilePath(), ":/ri_presence/algo.flow");
}

TEST_F(RunInfoTest, SettersEmitOnlyOnChange)
{
    QSignalSpy timeout(&runInfo, &RunInfo::timeoutChanged);
    QSignalSpy points(&runInfo, &RunInfo::detectionZonePointsChanged);
    QSignalSpy indexes(&runInfo, &RunInfo::detectionZoneIndexesChanged);

    runInfo.setTimeout(0);
    EXPECT_EQ(timeout.count(), 0);
    runInfo.setTimeout(12.5);
    runInfo.setTimeout(12.5);
    ASSERT_EQ(timeout.count(), 1);
    EXPECT_EQ(timeout.at(0).at(0).toDouble(), 12.5);

    const QVector<QPointF> zone{{0, 1}, {2.5, 3}};
    runInfo.setDetectionZonePoints(zone);
    EXPECT_EQ(points.count(), 1);
    const QVector<std::pair<QVector<QPointF>, bool>> pointCases = {
        {{{1e-13, 1}, {2.5, 3}}, false},          // zero coordinate, difference below 1e-12
        {{{0, 1}, {2.5 + 1e-13, 3}}, false},      // relative difference far below 1e-12
        {{{1e-11, 1}, {2.5, 3}}, true},           // zero coordinate, difference above 1e-12
        {{{0, 1}, {2.5, 3}, {0, 0}}, true},       // longer
    };
    for (const auto &[next, emits] : pointCases) {
        const int before = points.count();
        runInfo.setDetectionZonePoints(next);
        EXPECT_EQ(points.count() - before, emits ? 1 : 0) << next[0].x() << " " << next.size();
        runInfo.setDetectionZonePoints(zone);
    }

    runInfo.setDetectionZoneIndexes({1.0, 2.0});
    runInfo.setDetectionZoneIndexes({1.0, 2.0});
    EXPECT_EQ(indexes.count(), 1);
    runInfo.setDetectionZoneIndexes({1.0, 2.0 + 1e-13}); // exact comparison
    EXPECT_EQ(indexes.count(), 2);
}

TEST_F(RunInfoTest, DrivenThroughTheMetaObject)
{
    ASSERT_TRUE(runInfo.setProperty("algorithm", QStringLiteral("Presence 1.4")));
    ASSERT_TRUE(QMetaObject::invokeMethod(&runInfo, "setSensor", Q_ARG(QString, QStringLiteral("S1"))));
    ASSERT_TRUE(QMetaObject::invokeMethod(&runInfo, "setOptionValue", Q_ARG(QString, QStringLiteral("range")),
                                          Q_ARG(QString, QStringLiteral("near")),
                                          Q_ARG(QString, QStringLiteral("near.parb")), Q_ARG(int, 2)));
    EXPECT_TRUE(runInfo.optionValues().value(QStringLiteral("range")).visible);
    ASSERT_TRUE(QMetaObject::invokeMethod(&runInfo, "applyDefaultValues"));
    EXPECT_TRUE(runInfo.property("isValid").toBool());
    EXPECT_EQ(runInfo.property("timeoutDefaultValue").toDouble(), 30);
    EXPECT_EQ(runInfo.property("timeoutIncriment").toDouble(), 1);
    EXPECT_EQ(runInfo.property("prefix").toString(), "ri_presence");
    ASSERT_TRUE(runInfo.setProperty("detectionZoneIndexes", QVariant::fromValue(QVector<qreal>{3.0})));
    EXPECT_EQ(runInfo.detectionZoneIndexes(), QVector<qreal>{3.0});

    QString value;
    ASSERT_TRUE(QMetaObject::invokeMethod(&runInfo, "getOptionValue", Q_RETURN_ARG(QString, value),
                                          Q_ARG(QString, QStringLiteral("mode"))));
    EXPECT_EQ(value, "fast");

    runInfo.addDynamicOption(QStringLiteral("a=1"));
    ASSERT_TRUE(QMetaObject::invokeMethod(&runInfo, "addDynamicOption", Q_ARG(QString, QStringLiteral("b=2"))));
    EXPECT_EQ(runInfo.dynamicOptions(), QStringList({"a=1", "b=2"}));
    runInfo.clearDynamicOptions();
    EXPECT_TRUE(runInfo.dynamicOptions().isEmpty());
}

} // namespace

#include "runinfo_test.moc"
