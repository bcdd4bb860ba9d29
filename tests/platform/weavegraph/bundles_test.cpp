// The built algorithm bundles: definitions that the catalogue accepts without a warning, files that
// exist, flows and parameter sets that the runtime accepts, and the demo scene.
#include "platform/weavegraph/framevocabulary.h"
#include "tests/support/tablerows.h"
#include "tests/platform/weavegraph/graphharness.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QResource>
#include <QSet>

#include <gtest/gtest.h>

using namespace Vantrel::Tests;
namespace Output = Vantrel::Frames::Output;

namespace {

QString bundlePath(const char *file)
{
    return QString(WG_BUNDLE_DIR) + "/" + file;
}

class RegisteredBundle
{
public:
    explicit RegisteredBundle(const QString &path)
        : m_path(path)
        , m_ok(QResource::registerResource(path))
    {
    }
    ~RegisteredBundle()
    {
        if (m_ok)
            QResource::unregisterResource(m_path);
    }
    bool ok() const { return m_ok; }

private:
    QString m_path;
    bool m_ok;
};

QByteArray resource(const QString &prefix, const QString &file)
{
    QFile f(QString(":/%1/%2").arg(prefix, file));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool isText(const QJsonObject &o, const char *key)
{
    return o.contains(key) && o[key].isString() && !o[key].toString().isEmpty();
}

// Every reason the catalogue would warn about or drop something, as "where: what".
QStringList definitionProblems(const QJsonObject &algo, const QString &prefix)
{
    QStringList problems;
    for (const char *key : {"name", "description"})
        if (!isText(algo, key))
            problems << QString("algorithm: %1 missing or not text").arg(key);
    for (const char *key : {"output", "flow", "graphCommitHash", "graphBuildID", "minimumSupportedWeaveGraphVersion",
                            "maximumSupportedWeaveGraphVersion", "algorithmVersion", "jsonFormatVersion"})
        if (algo.contains(key) && !algo[key].isString())
            problems << QString("algorithm: %1 not text").arg(key);
    if (algo.contains("outputFrequency") && !algo["outputFrequency"].isDouble())
        problems << "algorithm: outputFrequency not a number";
    if (!QRegularExpression("^\\d+\\.\\d+\\.\\d+$").match(algo["algorithmVersion"].toString()).hasMatch())
        problems << "algorithm: algorithmVersion is not major.minor.patch";
    if (algo.contains("timeoutRangeSeconds")) {
        const QJsonObject t = algo["timeoutRangeSeconds"].toObject();
        const double start = t["start"].toDouble(), end = t["end"].toDouble(), def = t["default"].toDouble(),
                     inc = t["increments"].toDouble();
        if (!algo["timeoutRangeSeconds"].isObject() || start > end || start > def || end < def
            || inc > (end - start) / 2 || (start > 0 && end > 0 && inc < 1))
            problems << "algorithm: timeout range invalid";
    }
    if (!algo["sensors"].isArray() || algo["sensors"].toArray().isEmpty())
        problems << "algorithm: no sensors";
    QSet<QString> sensorNames;
    for (const QJsonValue &sv : algo["sensors"].toArray()) {
        const QJsonObject sensor = sv.toObject();
        const QString where = "sensor " + sensor["name"].toString();
        if (!sv.isObject() || !isText(sensor, "name") || !isText(sensor, "description"))
            problems << where + ": name or description missing";
        if (sensorNames.contains(sensor["name"].toString()))
            problems << where + ": duplicated";
        sensorNames.insert(sensor["name"].toString());
        if (sensor.contains("default") && !sensor["default"].isBool())
            problems << where + ": default not a bool";
        const QString flow = sensor["flow"].toString().isEmpty() ? algo["flow"].toString() : sensor["flow"].toString();
        if (resource(prefix, flow).isEmpty())
            problems << where + ": flow " + flow + " missing from the bundle";
        QSet<QString> parameterNames;
        for (const QJsonValue &pv : sensor["options"].toArray()) {
            const QJsonObject parameter = pv.toObject();
            const QString pwhere = where + " parameter " + parameter["name"].toString();
            const QJsonArray values = parameter["values"].toArray();
            if (!pv.isObject() || !isText(parameter, "name"))
                problems << pwhere + ": no name";
            if (!isText(parameter, "description") && values.size() > 1)
                problems << pwhere + ": several values need a description";
            if (parameter.contains("platforms"))
                problems << pwhere + ": restricted to platforms";
            if (parameterNames.contains(parameter["name"].toString()))
                problems << pwhere + ": duplicated";
            parameterNames.insert(parameter["name"].toString());
            QSet<QString> valueNames;
            for (const QJsonValue &vv : values) {
                const QJsonObject value = vv.toObject();
                const QString vwhere = pwhere + " value " + value["name"].toString();
                if (!vv.isObject() || !isText(value, "name") || !isText(value, "parb"))
                    problems << vwhere + ": name or parb missing";
                if (value.contains("description") && !value["description"].isString())
                    problems << vwhere + ": description not text";
                if (value.contains("default") && !value["default"].isBool())
                    problems << vwhere + ": default not a bool";
                if (valueNames.contains(value["name"].toString()))
                    problems << vwhere + ": duplicated";
                valueNames.insert(value["name"].toString());
                if (resource(prefix, value["parb"].toString()).isEmpty())
                    problems << vwhere + ": parb " + value["parb"].toString() + " missing from the bundle";
            }
        }
    }
    return problems;
}

QJsonObject sensorNamed(const QJsonObject &algo, const QString &name)
{
    for (const QJsonValue &sv : algo["sensors"].toArray())
        if (sv.toObject()["name"].toString() == name)
            return sv.toObject();
    return {};
}

QJsonObject parameterNamed(const QJsonObject &sensor, const QString &name)
{
    for (const QJsonValue &pv : sensor["options"].toArray())
        if (pv.toObject()["name"].toString() == name)
            return pv.toObject();
    return {};
}

// The value a run takes without a choice: the only one, or the one marked default.
QJsonObject defaultValue(const QJsonObject &parameter)
{
    const QJsonArray values = parameter["values"].toArray();
    if (values.size() == 1)
        return values[0].toObject();
    for (const QJsonValue &vv : values)
        if (vv.toObject()["default"].toBool())
            return vv.toObject();
    return {};
}

struct SensorRun
{
    int parseCode = 0;
    std::vector<int> parbCodes;
    int runCode = 0;
    std::vector<CapturedFrame> frames;
};

// Loads a sensor's flow and default parameter sets, in parameter order, as the host would; then
// unpaces it and runs it until the given number of frames has arrived (or the flow ends).
SensorRun runSensor(GraphHarness &harness, const QString &prefix, const QJsonObject &algo, const QJsonObject &sensor,
                    size_t frames)
{
    SensorRun run;
    const QString flow = sensor["flow"].toString().isEmpty() ? algo["flow"].toString() : sensor["flow"].toString();
    run.parseCode = harness.parse(resource(prefix, flow).toStdString());
    if (run.parseCode != 0)
        return run;
    for (const QJsonValue &pv : sensor["options"].toArray()) {
        const QByteArray parb = resource(prefix, defaultValue(pv.toObject())["parb"].toString());
        run.parbCodes.push_back(harness.setParameters(std::vector<uint8_t>(parb.begin(), parb.end())));
        if (run.parbCodes.back() != 0)
            return run;
    }
    harness.setParameters(encodeParb({{keyFrameRate, 0}}));
    run.runCode = harness.run([frames](const GraphHarness &h) { return h.frameCount() >= frames; });
    run.frames = harness.frames();
    return run;
}

struct SampleCase
{
    const char *name; // bundle file
    const char *prefix;
    const char *catalogueName;
    std::vector<uint32_t> outputIds;
};

using Vantrel::Test::operator<<;

class StandinSampleBundles : public ::testing::TestWithParam<SampleCase>
{};

TEST_P(StandinSampleBundles, DefinitionIsClean)
{
    const SampleCase &c = GetParam();
    RegisteredBundle bundle(bundlePath(c.name));
    ASSERT_TRUE(bundle.ok()) << c.name;
    EXPECT_EQ(QDir(":/").entryList(QDir::Dirs), QStringList{c.prefix});
    const QJsonObject algo = QJsonDocument::fromJson(resource(c.prefix, "algorithm.json")).object();
    EXPECT_EQ(definitionProblems(algo, c.prefix), QStringList());
    const auto version = QRegularExpression("^(\\d+).(\\d+).").match(algo["algorithmVersion"].toString());
    EXPECT_EQ(algo["name"].toString() + " " + version.captured(1) + "." + version.captured(2), c.catalogueName);
}

TEST_P(StandinSampleBundles, HasSimulatedAndModuleSensors)
{
    const SampleCase &c = GetParam();
    RegisteredBundle bundle(bundlePath(c.name));
    ASSERT_TRUE(bundle.ok());
    const QJsonObject algo = QJsonDocument::fromJson(resource(c.prefix, "algorithm.json")).object();
    const QJsonObject simulation = sensorNamed(algo, "Simulation");
    const QJsonObject module = sensorNamed(algo, "Module");
    EXPECT_TRUE(simulation["default"].toBool());
    EXPECT_NE(defaultValue(parameterNamed(simulation, "connection"))["name"].toString(), "FTDI");
    EXPECT_EQ(parameterNamed(simulation, "connection")["values"].toArray().size(), 1);
    EXPECT_EQ(defaultValue(parameterNamed(module, "connection"))["name"].toString(), "FTDI");
    for (const QJsonObject &sensor : {simulation, module}) {
        for (const char *name : {"FPS", "sensitivity", "range"})
            EXPECT_FALSE(defaultValue(parameterNamed(sensor, name)).isEmpty()) << name << " needs a default";
        const QJsonArray fps = parameterNamed(sensor, "FPS")["values"].toArray();
        EXPECT_GE(fps.size(), 2);
        for (const QJsonValue &value : fps) {
            bool number = false;
            value.toObject()["name"].toString().toDouble(&number);
            EXPECT_TRUE(number) << "FPS value " << value.toObject()["name"].toString().toStdString();
        }
    }
}

TEST_P(StandinSampleBundles, EverySensorAndValueRuns)
{
    const SampleCase &c = GetParam();
    RegisteredBundle bundle(bundlePath(c.name));
    ASSERT_TRUE(bundle.ok());
    const QJsonObject algo = QJsonDocument::fromJson(resource(c.prefix, "algorithm.json")).object();
    for (const QJsonValue &sv : algo["sensors"].toArray()) {
        GraphHarness harness;
        const SensorRun run = runSensor(harness, c.prefix, algo, sv.toObject(), 2 * c.outputIds.size());
        ASSERT_EQ(run.parseCode, 0);
        EXPECT_EQ(run.parbCodes, std::vector<int>(size_t(sv.toObject()["options"].toArray().size()), 0));
        EXPECT_EQ(run.runCode, 0);
        ASSERT_EQ(run.frames.size(), 2 * c.outputIds.size());
        for (size_t i = 0; i < run.frames.size(); ++i) {
            EXPECT_EQ(run.frames[i].id, c.outputIds[i % c.outputIds.size()]);
            EXPECT_TRUE(verifiedFrame(run.frames[i].bytes));
        }
        // Every value's parameter set is accepted on its own, too.
        for (const QJsonValue &pv : sv.toObject()["options"].toArray())
            for (const QJsonValue &vv : pv.toObject()["values"].toArray()) {
                const QByteArray parb = resource(c.prefix, vv.toObject()["parb"].toString());
                EXPECT_EQ(harness.setParameters(std::vector<uint8_t>(parb.begin(), parb.end())), 0)
                    << vv.toObject()["parb"].toString().toStdString();
            }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Bundles, StandinSampleBundles,
    ::testing::Values(
        SampleCase{"presence.hpd", "presence", "Presence 1.0", {Output::HumanPresenceA}},
        SampleCase{"proximity.hpd", "proximity", "Proximity 1.0", {Output::ProximityFast, Output::RangeProfile}},
        SampleCase{
            "powermap.hpd", "powermap", "PowerMap 1.0", {Output::PowerDataA, Output::HeatmapBasic, Output::Presence3}}),
    [](const auto &info) { return std::string(info.param.prefix); });

// The demo: the presence sample on its simulated sensor with defaults shows presence come and go
// within a few seconds (unpaced here: 0.1 s of scene per frame).
TEST(StandinDemo, PresenceComesAndGoes)
{
    RegisteredBundle bundle(bundlePath("presence.hpd"));
    ASSERT_TRUE(bundle.ok());
    const QJsonObject algo = QJsonDocument::fromJson(resource("presence", "algorithm.json")).object();
    GraphHarness harness;
    const SensorRun run = runSensor(harness, "presence", algo, sensorNamed(algo, "Simulation"), 100);
    ASSERT_EQ(run.frames.size(), 100u);
    std::vector<int> states;
    for (const CapturedFrame &frame : run.frames) {
        const std::vector<int32_t> values = humanPresenceValues(frame.bytes);
        ASSERT_GE(values.size(), 4u);
        states.push_back(values[0]);
        if (states.back()) {
            EXPECT_GT(values[1], 0);
        }
    }
    const auto firstAbsent = std::find(states.begin(), states.end(), 0);
    ASSERT_NE(firstAbsent, states.end());
    EXPECT_EQ(states.front(), 1);
    EXPECT_LE(firstAbsent - states.begin(), 80); // gone within 8 s
    EXPECT_NE(std::find(firstAbsent, states.end(), 1), states.end()) << "and back again";
}

// The staged-faults bundle other tests rely on.
struct FaultCase
{
    const char *name; // sensor
    int parseCode;
    std::vector<int> parbCodes;
    int runCode;
    size_t frames; // 0: the run does not end by itself
};

class StandinFaultBundle : public ::testing::TestWithParam<FaultCase>
{};

TEST_P(StandinFaultBundle, StagesItsFault)
{
    const FaultCase &c = GetParam();
    RegisteredBundle bundle(bundlePath("testing/faults.hpd"));
    ASSERT_TRUE(bundle.ok());
    const QJsonObject algo = QJsonDocument::fromJson(resource("faults", "algorithm.json")).object();
    ASSERT_EQ(definitionProblems(algo, "faults"), QStringList());
    const QJsonObject sensor = sensorNamed(algo, c.name);
    ASSERT_FALSE(sensor.isEmpty());
    GraphHarness harness;
    const SensorRun run = runSensor(harness, "faults", algo, sensor, c.frames ? 1000 : 3);
    EXPECT_EQ(run.parseCode, c.parseCode);
    EXPECT_EQ(run.parbCodes, c.parbCodes);
    if (run.parseCode != 0 || run.parbCodes.back() != 0)
        return;
    EXPECT_EQ(run.runCode, c.runCode);
    EXPECT_EQ(run.frames.size(), c.frames ? c.frames : 3u);
    if (std::string(c.name) == "Chatty") {
        EXPECT_TRUE(harness.logged(1, "chatty: level one"));
        EXPECT_TRUE(harness.logged(2, "chatty: level two"));
        EXPECT_TRUE(harness.logged(3, "chatty: level three"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Bundles, StandinFaultBundle,
    ::testing::Values(FaultCase{"Finite", 0, {0, 0}, 0, 10}, FaultCase{"ExitCode", 0, {0, 0}, 9, 5},
                      FaultCase{"RejectFlow", 42, {}, 0, 0}, FaultCase{"RejectParameters", 0, {0, 43}, 0, 0},
                      FaultCase{"BadParb", 0, {0, 0, 20}, 0, 0}, FaultCase{"Chatty", 0, {0, 0}, 0, 0}),
    Vantrel::Test::RowName());

} // namespace
