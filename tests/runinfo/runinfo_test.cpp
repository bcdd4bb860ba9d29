// The run configuration against a catalogue loaded from a real rcc-built bundle.
#include "runinfo/runinfo.h"

#include "catalogue/algorithmloader.h"
#include "tests/runinfo/signalrecorder.h"
#include "tests/support/bundlebuilder.h"
#include "tests/support/logcapture.h"

#include <QMetaMethod>
#include <QMetaProperty>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <utility>

using namespace Vantrel;
using namespace Vantrel::Test;

namespace {

const QString Alpha = QStringLiteral("RiAlpha 1.2");
const QString Beta = QStringLiteral("RiBeta 2.0");

// RiAlpha's sensor Radar has, in file order: mode (one value, so fixed), FPS (two values, one
// marked), range (two values, none marked), gain (two values, one marked). Name order differs
// from file order (FPS, gain, mode, range), so the parameter indexes 0..3 are not key order.
QByteArray alphaDefinition()
{
    return R"({"name":"RiAlpha","description":"Alpha algorithm","output":"Q3-ALPHA","flow":"alpha.flow",
        "graphCommitHash":"abc123","graphBuildID":"build-7","minimumSupportedWeaveGraphVersion":"1.0.0",
        "maximumSupportedWeaveGraphVersion":"3.0.0","algorithmVersion":"1.2.3","jsonFormatVersion":"2",
        "outputFrequency":20,"timeoutRangeSeconds":{"start":1,"end":600,"default":30,"increments":1},
        "sensors":[
          {"name":"Radar","description":"Radar sensor","default":true,"flow":"radar.flow","options":[
            {"name":"mode","values":[{"name":"auto","parb":"mode_auto.parb"}]},
            {"name":"FPS","description":"Frame rate","values":[
              {"name":"12.5","parb":"fps12.parb","default":true},{"name":"25","parb":"fps25.parb"}]},
            {"name":"range","description":"Range","values":[
              {"name":"near","parb":"range_near.parb"},{"name":"far","parb":"range_far.parb"}]},
            {"name":"gain","description":"Gain","values":[
              {"name":"low","parb":"gain_low.parb"},{"name":"high","parb":"gain_high.parb","default":true}]}]},
          {"name":"Plain","description":"Sensor without parameters"}]})";
}

QByteArray betaDefinition()
{
    return R"({"name":"RiBeta","description":"Beta algorithm","output":"Q3-BETA","flow":"beta.flow",
        "algorithmVersion":"2.0.1","outputFrequency":5,
        "timeoutRangeSeconds":{"start":0,"end":100,"default":10,"increments":5},
        "sensors":[{"name":"Radar","description":"Radar sensor","options":[
            {"name":"mode","values":[{"name":"manual","parb":"beta_mode.parb"}]}]}]})";
}

// One bundle for the whole process, since registered resources are never released.
struct Catalogue
{
    Catalogue()
    {
        const QString bundle = dir.filePath(QStringLiteral("runinfo.hpd"));
        built = BundleBuilder()
                    .addDefinition(alphaDir, alphaDefinition())
                    .addDefinition(betaDir, betaDefinition())
                    .build(bundle);
        loader.loadFromFile(bundle);
    }

    QTemporaryDir dir;
    const QString alphaDir = uniqueName(QStringLiteral("runinfo_alpha"));
    const QString betaDir = uniqueName(QStringLiteral("runinfo_beta"));
    bool built = false;
    AlgorithmLoader loader;
};

Catalogue &catalogue()
{
    static Catalogue instance;
    return instance;
}

QString alphaPath(const QString &fileName)
{
    return QStringLiteral(":/%1/%2").arg(catalogue().alphaDir, fileName);
}

const QStringList ChangesAfterAlgorithm{
    "timeoutChanged",          "timeoutStartChanged",    "timeoutEndChanged", "timeoutDefaultValueChanged",
    "timeoutIncrimentChanged", "outputFrequencyChanged", "outputChanged"};

class RunInfoTest : public ::testing::Test
{
protected:
    // RunInfo reacts to its own change signals through connections made at construction, so a
    // later subscriber sees a reaction's signals before the signal that caused them. Moving the
    // reactions behind the recorder lets it log signals in the order they are emitted.
    RunInfoTest()
    {
        const QMetaObject *meta = m_runInfo.metaObject();
        for (const auto &[signal, slot] : {std::pair{"algorithmChanged()", "algorithmChangedSlot()"},
                                           std::pair{"sensorChanged()", "sensorChangedSlot()"}}) {
            const QMetaMethod signalMethod = meta->method(meta->indexOfSignal(signal));
            const QMetaMethod slotMethod = meta->method(meta->indexOfSlot(slot));
            m_reactionsMoved = QObject::disconnect(&m_runInfo, signalMethod, &m_runInfo, QMetaMethod())
                               && QObject::connect(&m_runInfo, signalMethod, &m_runInfo, slotMethod)
                               && m_reactionsMoved;
        }
    }

    void SetUp() override
    {
        ASSERT_TRUE(m_reactionsMoved);
        ASSERT_TRUE(catalogue().built);
        ASSERT_TRUE(catalogue().loader.findAlgorithm(Alpha));
        ASSERT_TRUE(catalogue().loader.findAlgorithm(Beta));
        m_log.clear();
    }

    // Alpha with sensor Radar, then a clean log and a fresh recorder.
    void selectAlphaRadar()
    {
        ASSERT_TRUE(m_runInfo.setAlgorithm(Alpha));
        ASSERT_TRUE(m_runInfo.setSensor(QStringLiteral("Radar")));
        m_log.clear();
        m_signals.clear();
    }

    LogCapture m_log;
    RunInfo m_runInfo{catalogue().loader};
    SignalRecorder m_signals{&m_runInfo};
    bool m_reactionsMoved = true;
};

TEST_F(RunInfoTest, AlgorithmSelectionCopiesTheWholeRecord)
{
    ASSERT_TRUE(m_runInfo.setAlgorithm(Alpha));

    const AlgorithmInfo &info = m_runInfo.algorithmInfo();
    EXPECT_EQ(info.name, Alpha);
    EXPECT_EQ(info.description, "Alpha algorithm");
    EXPECT_EQ(info.flow, "alpha.flow");
    EXPECT_EQ(info.graphCommitHash, "abc123");
    EXPECT_EQ(info.graphBuildID, "build-7");
    EXPECT_EQ(info.minimumSupportedWeaveGraphVersion, "1.0.0");
    EXPECT_EQ(info.maximumSupportedWeaveGraphVersion, "3.0.0");
    EXPECT_EQ(info.algorithmVersion, "1.2.3");
    EXPECT_EQ(info.jsonFormatVersion, "2");
    EXPECT_EQ(m_runInfo.algorithm(), Alpha);
    EXPECT_EQ(m_runInfo.prefix(), catalogue().alphaDir);
    EXPECT_EQ(m_runInfo.output(), "Q3-ALPHA");
    EXPECT_EQ(m_runInfo.outputFrequency(), 20.0);
    EXPECT_EQ(m_runInfo.timeoutStart(), 1.0);
    EXPECT_EQ(m_runInfo.timeoutEnd(), 600.0);
    EXPECT_EQ(m_runInfo.timeoutDefaultValue(), 30.0);
    EXPECT_EQ(m_runInfo.timeoutIncriment(), 1.0);
    EXPECT_EQ(m_runInfo.timeout(), 30.0);
    EXPECT_TRUE(m_runInfo.sensor().isEmpty());
    EXPECT_TRUE(m_log.texts().isEmpty());
}

TEST_F(RunInfoTest, AlgorithmSelectionWithoutSensorKeepsOptionValues)
{
    m_runInfo.setOptionValue(QStringLiteral("early"), QStringLiteral("v"), QStringLiteral("early.parb"), 0);
    QSignalSpy timeoutSpy(&m_runInfo, &RunInfo::timeoutChanged);

    ASSERT_TRUE(m_runInfo.setAlgorithm(Alpha));

    EXPECT_EQ(m_signals.names(), QStringList{"algorithmChanged"} + ChangesAfterAlgorithm);
    ASSERT_EQ(timeoutSpy.count(), 1);
    EXPECT_EQ(timeoutSpy.at(0).at(0).toDouble(), 30.0);
    EXPECT_EQ(m_runInfo.optionValues().keys(), QStringList{"early"});
    EXPECT_EQ(m_runInfo.getOptionValue(QStringLiteral("early")), "v");
}

TEST_F(RunInfoTest, AlgorithmSelectionWithSensorClearsSensorAndValuesFirst)
{
    selectAlphaRadar();
    m_runInfo.setOptionValue(QStringLiteral("range"), QStringLiteral("far"), QStringLiteral("range_far.parb"), 2);
    // Already at Beta's default: the new default is announced all the same.
    m_runInfo.setTimeout(10);
    m_signals.clear();
    QSignalSpy timeoutSpy(&m_runInfo, &RunInfo::timeoutChanged);

    ASSERT_TRUE(m_runInfo.setAlgorithm(Beta));

    EXPECT_EQ(m_signals.names(), QStringList({"algorithmChanged", "sensorChanged"}) + ChangesAfterAlgorithm);
    ASSERT_EQ(timeoutSpy.count(), 1);
    EXPECT_EQ(timeoutSpy.at(0).at(0).toDouble(), 10.0);
    EXPECT_TRUE(m_runInfo.optionValues().isEmpty());
    EXPECT_TRUE(m_runInfo.sensor().isEmpty());
    EXPECT_TRUE(m_runInfo.sensorInfo().flow.isEmpty());
    EXPECT_FALSE(m_runInfo.sensorInfo().isDefault);
    EXPECT_EQ(m_runInfo.prefix(), catalogue().betaDir);
    EXPECT_EQ(m_runInfo.output(), "Q3-BETA");
    EXPECT_EQ(m_runInfo.timeout(), 10.0);
    EXPECT_EQ(m_runInfo.timeoutIncriment(), 5.0);
}

TEST_F(RunInfoTest, SameAlgorithmAgainChangesNothing)
{
    selectAlphaRadar();
    m_runInfo.setOptionValue(QStringLiteral("gain"), QStringLiteral("low"), QStringLiteral("gain_low.parb"), 3);
    m_runInfo.setTimeout(99);
    m_signals.clear();

    EXPECT_TRUE(m_runInfo.setAlgorithm(Alpha));

    EXPECT_TRUE(m_signals.names().isEmpty());
    EXPECT_EQ(m_runInfo.sensor(), "Radar");
    EXPECT_EQ(m_runInfo.getOptionValue(QStringLiteral("gain")), "low");
    EXPECT_EQ(m_runInfo.timeout(), 99.0);
}

TEST_F(RunInfoTest, UnknownAlgorithmLeavesTheSelectionIntact)
{
    selectAlphaRadar();
    m_runInfo.applyDefaultValues();
    m_runInfo.setTimeout(45);
    const QStringList values = m_runInfo.optionValues().keys();
    m_signals.clear();

    // Base name without version, wrong case, trailing blank and wrong version are all other names.
    for (const QString name : {"RiAlpha 9.9", "RiAlpha", "rialpha 1.2", "RiAlpha 1.2 "}) {
        SCOPED_TRACE(name.toStdString());
        m_log.clear();

        EXPECT_FALSE(m_runInfo.setAlgorithm(name));

        EXPECT_EQ(m_log.texts(QtWarningMsg),
                  QStringList{"Unknown algorithm: " + name + ", " + catalogue().loader.supportedAlgorithmsHelp()});
        EXPECT_EQ(m_log.records().size(), 1u);
        EXPECT_TRUE(m_signals.names().isEmpty());
        EXPECT_EQ(m_runInfo.algorithm(), Alpha);
        EXPECT_EQ(m_runInfo.prefix(), catalogue().alphaDir);
        EXPECT_EQ(m_runInfo.sensor(), "Radar");
        EXPECT_EQ(m_runInfo.optionValues().keys(), values);
        EXPECT_EQ(m_runInfo.timeout(), 45.0);
    }
    EXPECT_TRUE(catalogue().loader.supportedAlgorithmsHelp().contains("\"RiAlpha 1.2\""));
}

TEST_F(RunInfoTest, EmptyAlgorithmNameOnAFreshObjectChangesNothing)
{
    EXPECT_TRUE(m_runInfo.setAlgorithm(QString()));

    EXPECT_TRUE(m_signals.names().isEmpty());
    EXPECT_TRUE(m_runInfo.prefix().isEmpty());
    EXPECT_EQ(m_runInfo.timeout(), 0.0);
    EXPECT_EQ(m_runInfo.output(), "Q3-HPD");
    EXPECT_FALSE(m_runInfo.isValid());
    EXPECT_TRUE(m_log.texts().isEmpty());
}

TEST_F(RunInfoTest, SensorBeforeAlgorithmIsRefused)
{
    EXPECT_FALSE(m_runInfo.setSensor(QStringLiteral("Radar")));
    EXPECT_EQ(m_log.texts(QtWarningMsg), QStringList{"Algorithm must be specified before sensor"});
    EXPECT_TRUE(m_runInfo.sensor().isEmpty());
    m_log.clear();

    EXPECT_TRUE(m_runInfo.setSensor(QString()));
    EXPECT_TRUE(m_log.texts().isEmpty());
    EXPECT_TRUE(m_signals.names().isEmpty());
}

TEST_F(RunInfoTest, UnknownSensorLeavesTheSelectionIntact)
{
    selectAlphaRadar();
    m_runInfo.setOptionValue(QStringLiteral("gain"), QStringLiteral("low"), QStringLiteral("gain_low.parb"), 3);

    for (const QString name : {"radar", "Missing", "Radar "}) {
        SCOPED_TRACE(name.toStdString());
        m_log.clear();

        EXPECT_FALSE(m_runInfo.setSensor(name));

        EXPECT_EQ(m_log.texts(QtWarningMsg), QStringList{"Uknown sensor " + name});
        EXPECT_TRUE(m_signals.names().isEmpty());
        EXPECT_EQ(m_runInfo.sensor(), "Radar");
        EXPECT_EQ(m_runInfo.sensorInfo().flow, "radar.flow");
        EXPECT_EQ(m_runInfo.optionValues().keys(), QStringList({"gain", "mode"}));
    }
}

TEST_F(RunInfoTest, SensorSelectionFixesSingleValuedParametersOnly)
{
    ASSERT_TRUE(m_runInfo.setAlgorithm(Alpha));
    m_runInfo.setOptionValue(QStringLiteral("gain"), QStringLiteral("low"), QStringLiteral("gain_low.parb"), 3);
    m_signals.clear();

    ASSERT_TRUE(m_runInfo.setSensor(QStringLiteral("Radar")));

    EXPECT_EQ(m_signals.names(), QStringList{"sensorChanged"});
    const SensorInfo &sensor = m_runInfo.sensorInfo();
    EXPECT_EQ(sensor.name, "Radar");
    EXPECT_EQ(sensor.description, "Radar sensor");
    EXPECT_EQ(sensor.flow, "radar.flow");
    EXPECT_TRUE(sensor.isDefault);
    // Values given before the sensor are dropped; the marked defaults wait for applyDefaultValues.
    ASSERT_EQ(m_runInfo.optionValues().keys(), QStringList{"mode"});
    const OptionValue mode = m_runInfo.optionValues().value(QStringLiteral("mode"));
    EXPECT_FALSE(mode.visible);
    EXPECT_EQ(mode.index, 0);
    EXPECT_EQ(mode.valueName, "auto");
    EXPECT_EQ(mode.parb, "mode_auto.parb");
    EXPECT_FALSE(m_runInfo.isValid());
    EXPECT_TRUE(m_log.texts().isEmpty());
}

TEST_F(RunInfoTest, ApplyDefaultValuesFillsMarkedDefaultsAndNothingElse)
{
    selectAlphaRadar();

    m_runInfo.applyDefaultValues();

    EXPECT_EQ(m_runInfo.optionValues().keys(), QStringList({"FPS", "gain", "mode"}));
    struct Expected
    {
        const char *parameter;
        bool visible;
        int index;
        const char *value;
        const char *parb;
    };
    for (const Expected &expected :
         {Expected{"FPS", true, 1, "12.5", "fps12.parb"}, Expected{"gain", true, 3, "high", "gain_high.parb"},
          Expected{"mode", false, 0, "auto", "mode_auto.parb"}}) {
        SCOPED_TRACE(expected.parameter);
        const OptionValue value = m_runInfo.optionValues().value(QString::fromLatin1(expected.parameter));
        EXPECT_EQ(value.visible, expected.visible);
        EXPECT_EQ(value.index, expected.index);
        EXPECT_EQ(value.valueName, expected.value);
        EXPECT_EQ(value.parb, expected.parb);
    }
    // range has no marked value: the selection stays incomplete until the user picks one.
    EXPECT_FALSE(m_runInfo.isValid());
    m_runInfo.setOptionValue(QStringLiteral("range"), QStringLiteral("far"), QStringLiteral("range_far.parb"), 2);
    EXPECT_TRUE(m_runInfo.isValid());
    EXPECT_TRUE(m_signals.names().isEmpty());
    EXPECT_TRUE(m_log.texts().isEmpty());
}

TEST_F(RunInfoTest, UserValuesSurviveDefaults)
{
    selectAlphaRadar();
    m_runInfo.setOptionValue(QStringLiteral("gain"), QStringLiteral("low"), QStringLiteral("gain_low.parb"), 3);
    m_runInfo.setOptionValue(QStringLiteral("FPS"), QStringLiteral("25"), QStringLiteral("fps25.parb"), 1, false);

    m_runInfo.applyDefaultValues();

    const OptionValue gain = m_runInfo.optionValues().value(QStringLiteral("gain"));
    EXPECT_EQ(gain.valueName, "low");
    EXPECT_EQ(gain.parb, "gain_low.parb");
    EXPECT_TRUE(gain.visible);
    const OptionValue fps = m_runInfo.optionValues().value(QStringLiteral("FPS"));
    EXPECT_EQ(fps.valueName, "25");
    EXPECT_FALSE(fps.visible);
}

TEST_F(RunInfoTest, SensorChangesRestartTheValues)
{
    selectAlphaRadar();
    m_runInfo.applyDefaultValues();

    EXPECT_TRUE(m_runInfo.setSensor(QStringLiteral("Radar")));
    EXPECT_TRUE(m_signals.names().isEmpty());
    EXPECT_EQ(m_runInfo.optionValues().size(), 3);

    ASSERT_TRUE(m_runInfo.setSensor(QStringLiteral("Plain")));
    EXPECT_TRUE(m_runInfo.optionValues().isEmpty());
    EXPECT_TRUE(m_runInfo.sensorInfo().flow.isEmpty());
    EXPECT_TRUE(m_runInfo.isValid()); // a sensor without parameters needs no values

    ASSERT_TRUE(m_runInfo.setSensor(QStringLiteral("Radar")));
    EXPECT_EQ(m_runInfo.optionValues().keys(), QStringList{"mode"});

    ASSERT_TRUE(m_runInfo.setSensor(QString()));
    EXPECT_TRUE(m_runInfo.optionValues().isEmpty());
    EXPECT_TRUE(m_runInfo.sensorInfo().description.isEmpty());
    EXPECT_FALSE(m_runInfo.isValid());
    EXPECT_EQ(m_runInfo.prefix(), catalogue().alphaDir); // the algorithm stays
    EXPECT_EQ(m_signals.names(), QStringList({"sensorChanged", "sensorChanged", "sensorChanged"}));
    EXPECT_TRUE(m_log.texts().isEmpty());
}

TEST_F(RunInfoTest, ValidityIsCheckedWithoutMessages)
{
    EXPECT_FALSE(m_runInfo.isValid());
    ASSERT_TRUE(m_runInfo.setAlgorithm(Alpha));
    EXPECT_FALSE(m_runInfo.isValid());
    ASSERT_TRUE(m_runInfo.setSensor(QStringLiteral("Radar")));
    m_runInfo.applyDefaultValues();
    EXPECT_FALSE(m_runInfo.isValid());
    // Entries for names the sensor does not have do not count.
    m_runInfo.setOptionValue(QStringLiteral("unrelated"), QStringLiteral("x"), QStringLiteral("x.parb"), 4);
    EXPECT_FALSE(m_runInfo.isValid());
    m_runInfo.setOptionValue(QStringLiteral("range"), QStringLiteral("near"), QStringLiteral("range_near.parb"), 2);
    EXPECT_TRUE(m_runInfo.isValid());
    m_runInfo.clearOptions();
    EXPECT_FALSE(m_runInfo.isValid());
    EXPECT_TRUE(m_log.texts().isEmpty());
}

TEST_F(RunInfoTest, OptionValueAndDefaultValueLookups)
{
    ASSERT_TRUE(m_runInfo.setAlgorithm(Alpha));
    EXPECT_TRUE(m_runInfo.getOptionDefaultValue(QStringLiteral("FPS")).isEmpty()); // no sensor yet
    ASSERT_TRUE(m_runInfo.setSensor(QStringLiteral("Radar")));

    const QList<QPair<QString, QString>> defaults{{"FPS", "12.5"}, {"gain", "high"}, {"mode", "auto"},
                                                  {"range", ""},   {"fps", ""},      {"missing", ""}};
    for (const auto &[parameter, value] : defaults) {
        SCOPED_TRACE(parameter.toStdString());
        EXPECT_EQ(m_runInfo.getOptionDefaultValue(parameter), value);
    }
    EXPECT_EQ(m_runInfo.getOptionValue(QStringLiteral("mode")), "auto");
    EXPECT_TRUE(m_runInfo.getOptionValue(QStringLiteral("gain")).isEmpty());
    EXPECT_TRUE(m_runInfo.getOptionValue(QStringLiteral("missing")).isEmpty());
    EXPECT_TRUE(m_log.texts().isEmpty());
}

TEST_F(RunInfoTest, ParbFilesFollowTheParameterIndexes)
{
    selectAlphaRadar();
    m_runInfo.applyDefaultValues();
    m_runInfo.setOptionValue(QStringLiteral("range"), QStringLiteral("far"), QStringLiteral("range_far.parb"), 2);
    ASSERT_TRUE(m_runInfo.isValid());

    EXPECT_EQ(m_runInfo.parbFilePaths(), QStringList({alphaPath("mode_auto.parb"), alphaPath("fps12.parb"),
                                                      alphaPath("range_far.parb"), alphaPath("gain_high.parb")}));
}

TEST_F(RunInfoTest, ParbFilesOfHandMadeEntries)
{
    struct Entry
    {
        const char *key;
        int index;
    };
    struct Case
    {
        const char *name;
        QVector<Entry> entries;
        QStringList parbs; // in position order; empty when the model is inconsistent
        bool consistent;
    };
    const QVector<Case> cases{
        {"none", {}, {}, true},
        {"index order beats key order", {{"a", 1}, {"b", 0}}, {"b", "a"}, true},
        {"gap", {{"a", 0}, {"b", 2}}, {}, false},
        {"negative", {{"a", -1}, {"b", 0}}, {}, false},
        {"index equal to count", {{"a", 0}, {"b", 1}, {"c", 3}}, {}, false},
        {"later key wins a shared index", {{"a", 0}, {"b", 0}, {"c", 1}}, {"b", "c", ""}, true},
    };
    ASSERT_TRUE(m_runInfo.setAlgorithm(Alpha));
    for (const Case &test : cases) {
        SCOPED_TRACE(test.name);
        m_runInfo.clearOptions();
        m_log.clear();
        for (const Entry &entry : test.entries) {
            const QString key = QString::fromLatin1(entry.key);
            m_runInfo.setOptionValue(key, QStringLiteral("v"), key, entry.index);
        }
        QStringList expected;
        for (const QString &parb : test.parbs)
            expected.append(parb.isEmpty() ? QString() : alphaPath(parb));

        EXPECT_EQ(m_runInfo.parbFilePaths(), expected);
        EXPECT_EQ(m_log.texts(QtWarningMsg),
                  test.consistent ? QStringList() : QStringList{"Inconsistent algorithm model"});
    }
}

TEST_F(RunInfoTest, FlowFilePrefersTheSensorFlow)
{
    ASSERT_TRUE(m_runInfo.setAlgorithm(Alpha));
    EXPECT_EQ(m_runInfo.flowFilePath(), alphaPath("alpha.flow"));
    ASSERT_TRUE(m_runInfo.setSensor(QStringLiteral("Radar")));
    EXPECT_EQ(m_runInfo.flowFilePath(), alphaPath("radar.flow"));
    ASSERT_TRUE(m_runInfo.setSensor(QStringLiteral("Plain")));
    EXPECT_EQ(m_runInfo.flowFilePath(), alphaPath("alpha.flow"));
}

TEST_F(RunInfoTest, OutputFrequencyComesFromFpsWhenItIsANumber)
{
    ASSERT_TRUE(m_runInfo.setAlgorithm(Alpha));
    EXPECT_EQ(m_runInfo.outputFrequency(), 20.0); // no entry
    m_signals.clear();

    const QList<QPair<QString, double>> cases{
        {"12.5", 12.5}, {"0.1", static_cast<double>(0.1f)}, // single precision, widened
        {" 7 ", 7.0},   {"fast", 20.0},
        {"", 20.0},     {"1e40", 20.0}, // out of float range
    };
    for (const auto &[text, frequency] : cases) {
        SCOPED_TRACE(text.toStdString());
        m_runInfo.setOptionValue(QStringLiteral("FPS"), text, QStringLiteral("fps.parb"), 0);
        EXPECT_EQ(m_runInfo.outputFrequency(), frequency);
        EXPECT_EQ(m_runInfo.property("outputFrequency").toDouble(), frequency);
    }
    EXPECT_TRUE(m_signals.names().isEmpty()); // a new "FPS" value is not announced
}

TEST_F(RunInfoTest, TimeoutEmitsOnlyOnChange)
{
    QSignalSpy spy(&m_runInfo, &RunInfo::timeoutChanged);

    m_runInfo.setTimeout(0);
    m_runInfo.setTimeout(12.5);
    m_runInfo.setTimeout(12.5);
    m_runInfo.setTimeout(12.5 + 1e-9);

    ASSERT_EQ(spy.count(), 2);
    EXPECT_EQ(spy.at(0).at(0).toDouble(), 12.5);
    EXPECT_EQ(spy.at(1).at(0).toDouble(), 12.5 + 1e-9);
    EXPECT_EQ(m_runInfo.timeout(), 12.5 + 1e-9);
}

TEST_F(RunInfoTest, DetectionZonePointsCompareFuzzily)
{
    struct Case
    {
        const char *name;
        QVector<QPointF> next;
        bool emits;
    };
    const QVector<QPointF> stored{{0, 1}, {2, -3}};
    const QVector<Case> cases{
        {"1e-13 in a zero coordinate", {{1e-13, 1}, {2, -3}}, false},
        {"1e-11 in a zero coordinate", {{1e-11, 1}, {2, -3}}, true},
        {"relative 1e-13", {{0, 1}, {2 + 2e-13, -3}}, false},
        {"real change", {{0, 1}, {2, -3.5}}, true},
        {"shorter", {{0, 1}}, true},
        {"longer", {{0, 1}, {2, -3}, {4, 4}}, true},
        {"empty", {}, true},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.name);
        m_runInfo.setDetectionZonePoints(stored);
        QSignalSpy spy(&m_runInfo, &RunInfo::detectionZonePointsChanged);

        m_runInfo.setDetectionZonePoints(test.next);

        EXPECT_EQ(spy.count(), test.emits ? 1 : 0);
        const QVector<QPointF> &expected = test.emits ? test.next : stored;
        const QVector<QPointF> actual = m_runInfo.detectionZonePoints();
        ASSERT_EQ(actual.size(), expected.size());
        for (int i = 0; i < actual.size(); ++i) {
            EXPECT_EQ(actual[i].x(), expected[i].x());
            EXPECT_EQ(actual[i].y(), expected[i].y());
        }
    }
    QSignalSpy spy(&m_runInfo, &RunInfo::detectionZonePointsChanged);
    m_runInfo.setDetectionZonePoints(m_runInfo.detectionZonePoints());
    EXPECT_EQ(spy.count(), 0);
}

TEST_F(RunInfoTest, DetectionZoneIndexesCompareExactly)
{
    const QVector<qreal> stored{0, 1.5};
    const QList<QPair<QVector<qreal>, bool>> cases{
        {{0, 1.5}, false},
        {{1e-13, 1.5}, true},
        {{0, 1.5 + 1e-12}, true},
        {{0}, true},
    };
    for (const auto &[next, emits] : cases) {
        m_runInfo.setDetectionZoneIndexes(stored);
        QSignalSpy spy(&m_runInfo, &RunInfo::detectionZoneIndexesChanged);

        m_runInfo.setDetectionZoneIndexes(next);

        EXPECT_EQ(spy.count(), emits ? 1 : 0);
        EXPECT_EQ(m_runInfo.detectionZoneIndexes(), emits ? next : stored);
    }
}

TEST_F(RunInfoTest, PropertiesAreReachableByName)
{
    struct Property
    {
        const char *name;
        const char *notify; // empty when the property has none
        bool writable;
    };
    const QVector<Property> properties{
        {"isValid", "isValidChanged", false},
        {"algorithm", "algorithmChanged", true},
        {"sensor", "sensorChanged", true},
        {"output", "outputChanged", false},
        {"outputFrequency", "outputFrequencyChanged", false},
        {"timeoutStart", "timeoutStartChanged", false},
        {"timeoutEnd", "timeoutEndChanged", false},
        {"timeoutDefaultValue", "timeoutDefaultValueChanged", false},
        {"timeoutIncriment", "timeoutIncrimentChanged", false},
        {"timeout", "timeoutChanged", true},
        {"prefix", "", false},
        {"detectionZonePoints", "detectionZonePointsChanged", true},
        {"detectionZoneIndexes", "detectionZoneIndexesChanged", true},
    };
    const QMetaObject *meta = m_runInfo.metaObject();
    ASSERT_EQ(meta->propertyCount() - meta->propertyOffset(), properties.size());
    for (int i = 0; i < properties.size(); ++i) {
        const QMetaProperty property = meta->property(meta->propertyOffset() + i);
        SCOPED_TRACE(properties[i].name);
        EXPECT_STREQ(property.name(), properties[i].name);
        EXPECT_EQ(property.isWritable(), properties[i].writable);
        EXPECT_EQ(QByteArray(property.notifySignal().name()), QByteArray(properties[i].notify));
    }

    ASSERT_TRUE(m_runInfo.setProperty("algorithm", Alpha));
    ASSERT_TRUE(m_runInfo.setProperty("sensor", QStringLiteral("Plain")));
    ASSERT_TRUE(m_runInfo.setProperty("timeout", 42.0));
    EXPECT_EQ(m_runInfo.property("algorithm").toString(), Alpha);
    EXPECT_EQ(m_runInfo.property("sensor").toString(), "Plain");
    EXPECT_EQ(m_runInfo.property("prefix").toString(), catalogue().alphaDir);
    EXPECT_EQ(m_runInfo.property("output").toString(), "Q3-ALPHA");
    EXPECT_EQ(m_runInfo.property("timeout").toDouble(), 42.0);
    EXPECT_EQ(m_runInfo.property("timeoutEnd").toDouble(), 600.0);
    EXPECT_EQ(m_runInfo.property("isValid").toBool(), true);
    EXPECT_EQ(m_signals.names().filter(QStringLiteral("maxRangeChanged")), QStringList());
    EXPECT_EQ(m_signals.names().filter(QStringLiteral("isValidChanged")), QStringList());
}

TEST_F(RunInfoTest, OptionMethodsAreInvokableByName)
{
    const QString option = QStringLiteral("gain");
    ASSERT_TRUE(QMetaObject::invokeMethod(&m_runInfo, "setOptionValue", Q_ARG(QString, option),
                                          Q_ARG(QString, QStringLiteral("low")),
                                          Q_ARG(QString, QStringLiteral("gain_low.parb")), Q_ARG(int, 3)));
    EXPECT_TRUE(m_runInfo.optionValues().value(option).visible);
    EXPECT_EQ(m_runInfo.optionValues().value(option).index, 3);

    ASSERT_TRUE(QMetaObject::invokeMethod(
        &m_runInfo, "setOptionValue", Q_ARG(QString, option), Q_ARG(QString, QStringLiteral("high")),
        Q_ARG(QString, QStringLiteral("gain_high.parb")), Q_ARG(int, 2), Q_ARG(bool, false)));
    const OptionValue value = m_runInfo.optionValues().value(option);
    EXPECT_FALSE(value.visible);
    EXPECT_EQ(value.index, 2);
    EXPECT_EQ(value.parb, "gain_high.parb");

    QString read;
    ASSERT_TRUE(
        QMetaObject::invokeMethod(&m_runInfo, "getOptionValue", Q_RETURN_ARG(QString, read), Q_ARG(QString, option)));
    EXPECT_EQ(read, "high");

    ASSERT_TRUE(QMetaObject::invokeMethod(&m_runInfo, "addDynamicOption", Q_ARG(QString, QStringLiteral("a=1"))));
    ASSERT_TRUE(QMetaObject::invokeMethod(&m_runInfo, "addDynamicOption", Q_ARG(QString, QStringLiteral("b=2"))));
    EXPECT_EQ(m_runInfo.dynamicOptions(), QStringList({"a=1", "b=2"}));
    ASSERT_TRUE(QMetaObject::invokeMethod(&m_runInfo, "clearDynamicOptions"));
    EXPECT_TRUE(m_runInfo.dynamicOptions().isEmpty());
    ASSERT_TRUE(QMetaObject::invokeMethod(&m_runInfo, "clearOptions"));
    EXPECT_TRUE(m_runInfo.optionValues().isEmpty());
    EXPECT_TRUE(m_signals.names().isEmpty());
}

} // namespace
