// Reading definitions into the option model: messages, validation, defaults and lookups.
#include "catalogue/definitionreader.h"
#include "tests/support/logcapture.h"
#include "tests/support/tablerows.h"

#include <QJsonDocument>
#include <QSysInfo>

#include <gtest/gtest.h>

using namespace Vantrel;
using Vantrel::Test::LogCapture;

namespace {

QJsonObject object(const QByteArray &json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << json.constData();
    return document.object();
}

std::optional<AlgorithmOption> read(const QByteArray &json, const QString &prefix = QStringLiteral("dir"))
{
    return DefinitionReader::readAlgorithm(prefix, object(json));
}

// A complete algorithm whose one sensor S holds the given "options" array.
QByteArray withOptions(const QByteArray &options)
{
    return R"({"name":"A","description":"d","sensors":[{"name":"S","description":"d","options":)" + options + "}]}";
}

// One parameter p with a description, holding the given "values" array.
QByteArray withValues(const QByteArray &values)
{
    return withOptions(R"([{"name":"p","description":"d","values":)" + values + "}]");
}

struct MessageCase
{
    const char *name;
    QByteArray json;
    QStringList messages; // every record, warnings and debug, in order, including the final validation
    bool valid;
};

using Vantrel::Test::operator<<;

class DefinitionMessages : public ::testing::TestWithParam<MessageCase>
{};

TEST_P(DefinitionMessages, AreLoggedInReadingOrder)
{
    const MessageCase &c = GetParam();
    LogCapture log;
    EXPECT_EQ(bool(read(c.json)), c.valid);
    EXPECT_EQ(log.texts(), c.messages);
}

const QString platformMessage =
    QStringLiteral("Ignoring parameter which is not supported on current platform.\nSupported platforms: x\n"
                   "Current platform: %1")
        .arg(QSysInfo::productType());

INSTANTIATE_TEST_SUITE_P(
    Catalogue, DefinitionMessages,
    ::testing::Values(
        MessageCase{"valueNotAnObject",
                    withValues(R"([5, {"name":"a","parb":"a.parb"}])"),
                    {"Ignoring option with empty name", "Invalid option, name and parb must be provided"},
                    true},
        MessageCase{"valueWithoutParb",
                    withValues(R"([{"name":"a"}])"),
                    {"Ignoring option with empty parb", "Invalid option, name and parb must be provided"},
                    true},
        MessageCase{"duplicatedValue",
                    withValues(R"([{"name":"a","parb":"1"},{"name":"a","parb":"2"}])"),
                    {"Ignore duplicated option:  a"},
                    true},
        MessageCase{"twoValuesWithoutDescription",
                    withOptions(R"([{"name":"p","values":[{"name":"a","parb":"1"},{"name":"b","parb":"2"}]}])"),
                    {"Ignoring parameter with description and more than 1 value"},
                    true},
        MessageCase{"duplicateCountsOnlyOnce",
                    withOptions(R"([{"name":"p","values":[{"name":"a","parb":"1"},{"name":"a","parb":"2"}]}])"),
                    {"Ignore duplicated option:  a"},
                    true},
        MessageCase{"platformsWithNumber",
                    withOptions(R"([{"name":"p","platforms":["x",5]}])"),
                    {"Type doesn't match for key platforms, expected string", platformMessage},
                    true},
        MessageCase{"duplicatedParameter",
                    withOptions(R"([{"name":"p"},{"name":"p"}])"),
                    {"Ignore duplicated parameter:  p"},
                    true},
        MessageCase{"childrenBeforeParent",
                    withOptions(R"([{"values":[{"name":"v"}]}])"),
                    {"Ignoring option with empty parb", "Invalid option, name and parb must be provided",
                     "Ignoring parameter with empty name"},
                    true},
        MessageCase{"nameIsNumber",
                    R"({"name":7,"description":"d","sensors":[{"name":"S","description":"d"}]})",
                    {"Type doesn't match for key name", "Ignoring Product with empty name"},
                    false},
        // The check applies to the name as read, before the version is appended.
        MessageCase{"emptyBaseNameWithVersion",
                    R"({"algorithmVersion":"1.0.0","description":"d","sensors":[{"name":"S","description":"d"}]})",
                    {"Ignoring Product with empty name"},
                    false},
        MessageCase{"descriptionIsNull",
                    R"({"name":"A","description":null,"sensors":[{"name":"S","description":"d"}]})",
                    {"Type doesn't match for key description", "Ignoring Product with empty description"},
                    false},
        MessageCase{
            "timeoutRangeIsNumber",
            R"({"name":"A","description":"d","timeoutRangeSeconds":30,"sensors":[{"name":"S","description":"d"}]})",
            {"Type doesn't match for key timeoutRangeSeconds"},
            true},
        MessageCase{"invalidTimeoutRangeBeforeSensors",
                    R"({"name":"A","description":"d","timeoutRangeSeconds":{"start":1,"end":10,"default":5,
                        "increments":0.5},"sensors":[{"name":"S"}]})",
                    {"Timeout range is invalid: start 1, end 10, default 5, incriment: 0.5",
                     "Ignoring sensor with empty description", "Ignoring Product with empty sensor list"},
                    false},
        MessageCase{"timeoutNumbersInGeneralFormat",
                    R"({"name":"A","description":"d","timeoutRangeSeconds":{"start":1234567,"end":0.000012345678,
                        "default":-3},"sensors":[{"name":"S","description":"d"}]})",
                    {"Timeout range is invalid: start 1.23457e+06, end 1.23457e-05, default -3, incriment: 0"},
                    true},
        MessageCase{"allSensorsInvalid",
                    R"({"name":"A","description":"d","sensors":[{"name":"S"},3]})",
                    {"Ignoring sensor with empty description", "Ignoring sensor with empty name",
                     "Ignoring Product with empty sensor list"},
                    false},
        MessageCase{"sensorsNotAnArray",
                    R"({"name":"A","description":"d","sensors":{"name":"S"}})",
                    {"Type doesn't match for key sensors", "Ignoring Product with empty sensor list"},
                    false},
        MessageCase{"noConversionOfNumbersAndBools",
                    R"({"name":"A","description":"d","outputFrequency":"12","flow":3,
                        "sensors":[{"name":"S","description":"d","default":1}]})",
                    {"Type doesn't match for key flow", "Type doesn't match for key outputFrequency",
                     "Type doesn't match for key default"},
                    true},
        MessageCase{"dynamicOptionsAreNotValidated",
                    R"({"name":"A","description":"d","sensors":[{"name":"S","description":"d",
                        "dynamicOptions":[1,{"qmlName":2,"sectionNames":["a",false]}]}]})",
                    {"Type doesn't match for key qmlName", "Type doesn't match for key sectionNames, expected string"},
                    true}),
    Vantrel::Test::RowName());

TEST(DefinitionReading, KeepsEveryFieldAsRead)
{
    const auto algorithm = read(R"({
        "name":"Presence","description":"Detects people","output":"Q4","flow":"a.flow",
        "graphCommitHash":"abc","graphBuildID":"42","minimumSupportedWeaveGraphVersion":"1.0.0",
        "maximumSupportedWeaveGraphVersion":"2.0.0","algorithmVersion":"1.4.2","jsonFormatVersion":"3",
        "outputFrequency":12.5,"timeoutRangeSeconds":{"end":60},
        "sensors":[{"name":"S","description":"d","flow":"s.flow","default":true,
                    "dynamicOptions":[{"qmlName":"q","sectionNames":["x","y"]},7]}]})",
                                QStringLiteral("presence_dir"));
    ASSERT_TRUE(algorithm);
    const AlgorithmInfo &info = algorithm->info();
    EXPECT_EQ(info.name, "Presence 1.4");
    EXPECT_EQ(info.description, "Detects people");
    EXPECT_EQ(info.output, "Q4");
    EXPECT_EQ(info.flow, "a.flow");
    EXPECT_EQ(info.graphCommitHash, "abc");
    EXPECT_EQ(info.graphBuildID, "42");
    EXPECT_EQ(info.minimumSupportedWeaveGraphVersion, "1.0.0");
    EXPECT_EQ(info.maximumSupportedWeaveGraphVersion, "2.0.0");
    EXPECT_EQ(info.algorithmVersion, "1.4.2");
    EXPECT_EQ(info.jsonFormatVersion, "3");
    EXPECT_EQ(info.outputFrequency, 12.5);
    EXPECT_EQ(info.timeoutRangeSeconds.end, 60);
    EXPECT_EQ(info.timeoutRangeSeconds.defaultValue, 0);
    EXPECT_EQ(algorithm->prefix(), "presence_dir");

    const auto sensor = algorithm->findSensor(QStringLiteral("S"));
    ASSERT_TRUE(sensor);
    EXPECT_EQ(sensor->info().flow, "s.flow");
    EXPECT_TRUE(sensor->info().isDefault);
    ASSERT_EQ(sensor->dynamicOptions().size(), 2);
    EXPECT_EQ(sensor->dynamicOptions()[0].qmlName, "q");
    EXPECT_EQ(sensor->dynamicOptions()[0].sectionNames, QStringList({"x", "y"}));
    EXPECT_TRUE(sensor->dynamicOptions()[1].qmlName.isEmpty());
    EXPECT_TRUE(sensor->dynamicOptions()[1].sectionNames.isEmpty());
}

struct NameCase
{
    QString version;
    QString expected;
};

TEST(CatalogueName, TakesMajorAndMinorOfAThreePartVersion)
{
    const NameCase cases[] = {
        {"1.4.2", "Presence 1.4"},
        {"10.0.3", "Presence 10.0"},
        {"1-2-3", "Presence 1.2"},
        {"2.0", "Presence 2.0"},
        {"", "Presence "},
        {"beta", "Presence beta"},
        {"1.4.2.", "Presence 1.4.2."},
        {"1.4.2 ", "Presence 1.4.2 "},
        {"01.004.9", "Presence 01.004"},
    };
    for (const NameCase &c : cases) {
        const auto algorithm = read(QStringLiteral(R"({"name":"Presence","description":"d","algorithmVersion":"%1",
                                                      "sensors":[{"name":"S","description":"d"}]})")
                                        .arg(c.version)
                                        .toUtf8());
        ASSERT_TRUE(algorithm) << c.version.toStdString();
        EXPECT_EQ(algorithm->name(), c.expected) << c.version.toStdString();
    }
}

struct RangeCase
{
    const char *range;
    bool valid;
};

// An invalid range is reported only: the definition is accepted all the same.
TEST(TimeoutRangeCheck, FollowsTheRules)
{
    const RangeCase cases[] = {
        {R"("start":1,"end":10,"default":5,"increments":0.5)", false}, // both ends positive, step below 1
        {R"("start":0,"end":10,"default":5,"increments":0.5)", true},
        {R"("start":1,"end":10,"default":5,"increments":5)", false}, // more than half the span
        {R"("start":1,"end":10,"default":5,"increments":4.5)", true},
        {R"("end":60)", true},
        {"", true},
        {R"("start":11,"end":10,"default":10)", false},
        {R"("start":5,"end":10,"default":4,"increments":1)", false},
        {R"("start":1,"end":10,"default":11,"increments":1)", false},
    };
    for (const RangeCase &c : cases) {
        LogCapture log;
        const auto algorithm = read(R"({"name":"A","description":"d","timeoutRangeSeconds":{)" + QByteArray(c.range)
                                    + R"(},"sensors":[{"name":"S","description":"d"}]})");
        ASSERT_TRUE(algorithm) << c.range;
        EXPECT_EQ(log.texts().filter(QStringLiteral("Timeout range is invalid")).size(), c.valid ? 0 : 1) << c.range;
    }
}

TEST(OptionModel, ParametersAreKeyedByNameAndIndexedInFileOrder)
{
    LogCapture log;
    const auto algorithm = read(withOptions(R"([{"name":"b"},{"name":""},{"name":"a"},{"name":"b"},
                                                {"name":"z","platforms":["x"]},{"name":"c"},{"name":"C"}])"));
    ASSERT_TRUE(algorithm);
    const auto sensor = algorithm->findSensor(QStringLiteral("S"));
    ASSERT_TRUE(sensor);
    EXPECT_EQ(sensor->options().keys(), QStringList({"C", "a", "b", "c"}));
    const std::pair<const char *, int> indexes[] = {{"b", 0}, {"a", 1}, {"c", 2}, {"C", 3}};
    for (const auto &[name, index] : indexes) {
        const auto parameter = sensor->findParameter(QString::fromLatin1(name));
        ASSERT_TRUE(parameter) << name;
        EXPECT_EQ(parameter->index(), index) << name;
    }
    EXPECT_FALSE(sensor->findParameter(QStringLiteral("B")));
}

TEST(OptionModel, PlatformListNamingThisPlatformKeepsTheParameter)
{
    const QByteArray options =
        QStringLiteral(R"([{"name":"p","platforms":["other","%1"]}])").arg(QSysInfo::productType()).toUtf8();
    const auto algorithm = read(withOptions(options));
    ASSERT_TRUE(algorithm);
    const auto sensor = algorithm->findSensor(QStringLiteral("S"));
    ASSERT_TRUE(sensor);
    EXPECT_TRUE(sensor->findParameter(QStringLiteral("p")));
}

TEST(OptionModel, LaterSensorOfTheSameNameWinsSilently)
{
    LogCapture log;
    const auto algorithm = read(R"({"name":"A","description":"d","sensors":[
        {"name":"S","description":"first"},{"name":"S","description":"second"}]})");
    EXPECT_TRUE(log.texts().isEmpty());
    ASSERT_TRUE(algorithm);
    ASSERT_EQ(algorithm->sensors().size(), 1);
    EXPECT_EQ(algorithm->findSensor(QStringLiteral("S"))->description(), "second");
}

struct DefaultCase
{
    const char *label;
    QByteArray values;
    QString defaultName; // empty: no default
    bool visible;
    bool fixed;
};

TEST(OptionModel, DefaultAndFixedValues)
{
    const DefaultCase cases[] = {
        {"oneUnmarked", R"([{"name":"a","parb":"1"}])", "a", false, true},
        {"oneMarked", R"([{"name":"a","parb":"1","default":true}])", "a", false, true},
        {"secondMarked", R"([{"name":"a","parb":"1"},{"name":"b","parb":"2","default":true}])", "b", true, false},
        {"bothMarked", R"([{"name":"b","parb":"2","default":true},{"name":"a","parb":"1","default":true}])", "a", true,
         false},
        {"noneMarked", R"([{"name":"a","parb":"1"},{"name":"b","parb":"2"}])", "", true, false},
        {"noValues", "[]", "", true, false},
    };
    for (const DefaultCase &c : cases) {
        const auto algorithm = read(withValues(c.values));
        ASSERT_TRUE(algorithm) << c.label;
        const auto parameter = algorithm->findSensor(QStringLiteral("S"))->findParameter(QStringLiteral("p"));
        ASSERT_TRUE(parameter) << c.label;
        const auto defaultValue = parameter->defaultValue();
        const auto fixedValue = parameter->fixedValue();
        if (c.defaultName.isEmpty()) {
            EXPECT_FALSE(defaultValue) << c.label;
        } else {
            ASSERT_TRUE(defaultValue) << c.label;
            EXPECT_EQ(defaultValue->value.name(), c.defaultName) << c.label;
            EXPECT_EQ(defaultValue->visible, c.visible) << c.label;
        }
        EXPECT_EQ(bool(fixedValue), c.fixed) << c.label;
        if (fixedValue) {
            EXPECT_EQ(fixedValue->value.name(), c.defaultName) << c.label;
            EXPECT_FALSE(fixedValue->visible) << c.label;
        }
    }
}

TEST(OptionModel, DefaultSensorName)
{
    const std::pair<QByteArray, QString> cases[] = {
        {R"([{"name":"only","description":"d"}])", "only"},
        {R"([{"name":"b","description":"d"},{"name":"a","description":"d"}])", QString()},
        {R"([{"name":"b","description":"d","default":true},{"name":"c","description":"d","default":true},
             {"name":"a","description":"d"}])",
         "b"},
    };
    for (const auto &[sensors, expected] : cases) {
        const auto algorithm = read(R"({"name":"A","description":"d","sensors":)" + sensors + "}");
        ASSERT_TRUE(algorithm) << sensors.constData();
        EXPECT_EQ(algorithm->defaultSensorName(), expected) << sensors.constData();
        EXPECT_EQ(algorithm->defaultSensorName().isNull(), expected.isNull()) << sensors.constData();
    }
}

TEST(OptionModel, LookupsAreExactAndCaseSensitive)
{
    const auto algorithm = read(withValues(R"([{"name":"Fast","parb":"f"}])"));
    ASSERT_TRUE(algorithm);
    const auto sensor = algorithm->findSensor(QStringLiteral("S"));
    ASSERT_TRUE(sensor);
    EXPECT_FALSE(algorithm->findSensor(QStringLiteral("s")));
    const auto parameter = sensor->findParameter(QStringLiteral("p"));
    ASSERT_TRUE(parameter);
    EXPECT_FALSE(parameter->findValue(QStringLiteral("fast")));
    const auto value = parameter->findValue(QStringLiteral("Fast"));
    ASSERT_TRUE(value);
    EXPECT_EQ(value->info().parb, "f");
}

} // namespace
