// The texts that describe the catalogue to the user, exactly as printed.
#include "catalogue/algorithmloader.h"
#include "catalogue/definitionreader.h"
#include "catalogue/helptexts.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

using namespace Vantrel;

namespace {

AlgorithmOption algorithm(const QByteArray &json)
{
    const auto read = DefinitionReader::readAlgorithm(QStringLiteral("dir"), QJsonDocument::fromJson(json).object());
    EXPECT_TRUE(read) << json.constData();
    return read.value_or(AlgorithmOption());
}

// The running example: Presence 1.4, sensor S1 (not marked), mode {fast (default), slow}, range {near, far}.
const QByteArray presence = R"({"name":"Presence","description":"d","algorithmVersion":"1.4.0","sensors":[
    {"name":"S1","description":"d","options":[
        {"name":"range","description":"d","values":[{"name":"near","parb":"n"},{"name":"far","parb":"f"}]},
        {"name":"mode","description":"d","values":[{"name":"slow","parb":"s"},{"name":"fast","parb":"f","default":true}]}
    ]}]})";

TEST(QuoteIfSpaced, QuotesOnlyOnABlank)
{
    const std::pair<QString, QString> cases[] = {
        {"Presence", "Presence"},
        {"Presence 1.4", "\"Presence 1.4\""},
        {"tab\there", "tab\there"},
        {"say \"hi\" now", "\"say \"hi\" now\""},
        {"", ""},
        {" ", "\" \""},
    };
    for (const auto &[text, expected] : cases)
        EXPECT_EQ(quoteIfSpaced(text), expected) << text.toStdString();
}

TEST(HelpTexts, RunningExample)
{
    const AlgorithmOption presenceAlgorithm = algorithm(presence);
    const auto sensor = presenceAlgorithm.findSensor(QStringLiteral("S1"));
    ASSERT_TRUE(sensor);
    EXPECT_EQ(sensorsHelp(presenceAlgorithm), "Supported sensors for \"Presence 1.4\": S1 (default)");
    EXPECT_EQ(parametersHelp(*sensor), "Supported parameters for S1: [mode <value>] range <value>");
    EXPECT_EQ(valuesHelp(*sensor->findParameter(QStringLiteral("mode"))),
              "Supported values for mode: fast (default) slow");
    EXPECT_EQ(
        optionLines({{presenceAlgorithm.name(), presenceAlgorithm}}),
        QStringList({"\"Presence 1.4\" S1   range far  mode fast", "\"Presence 1.4\" S1   range far  mode slow",
                     "\"Presence 1.4\" S1   range near  mode fast", "\"Presence 1.4\" S1   range near  mode slow"}));
}

struct SensorsCase
{
    QByteArray sensors;
    QString expected;
};

TEST(HelpTexts, SensorsHelp)
{
    const SensorsCase cases[] = {
        {R"([{"name":"b","description":"d"},{"name":"a","description":"d","default":true}])",
         "Supported sensors for \"A 1.0\": a (default) b"},
        {R"([{"name":"b","description":"d","default":true},{"name":"a","description":"d","default":true}])",
         "Supported sensors for \"A 1.0\": a (default) b (default)"},
        {R"([{"name":"my sensor","description":"d"},{"name":"x","description":"d"}])",
         "Supported sensors for \"A 1.0\": \"my sensor\" x"},
    };
    for (const SensorsCase &c : cases) {
        EXPECT_EQ(sensorsHelp(algorithm(R"({"name":"A","algorithmVersion":"1.0.0","description":"d","sensors":)"
                                        + c.sensors + "}")),
                  c.expected)
            << c.sensors.constData();
    }
}

struct SensorTextCase
{
    const char *label;
    QByteArray options;
    QString parametersHelp;
    QStringList combinations;
};

TEST(HelpTexts, ParametersHelpAndCombinations)
{
    const SensorTextCase cases[] = {
        {"singleValuedOnly",
         R"([{"name":"p","values":[{"name":"a","parb":"1","default":true}]}])",
         "Supported parameters for S:",
         {}},
        {"zeroValuedBlocksCombinations",
         R"([{"name":"empty"},{"name":"m","description":"d","values":[{"name":"a","parb":"1"},{"name":"b","parb":"2"}]}])",
         "Supported parameters for S: empty <value> m <value>",
         {}},
        {"singleValuedNeverAppear",
         R"([{"name":"fixed","values":[{"name":"f","parb":"1"}]},
             {"name":"two words","description":"d","values":[{"name":"x y","parb":"1"},{"name":"z","parb":"2"}]}])",
         "Supported parameters for S: \"two words\" <value>",
         {"  \"two words\" \"x y\"", "  \"two words\" z"}},
        {"firstListTurnsFastestLastNamedFirst",
         R"([{"name":"a","description":"d","values":[{"name":"1","parb":"1"},{"name":"2","parb":"2"}]},
             {"name":"b","description":"d","values":[{"name":"x","parb":"1"},{"name":"y","parb":"2"},{"name":"z","parb":"3"}]}])",
         "Supported parameters for S: a <value> b <value>",
         {"  b x  a 1", "  b x  a 2", "  b y  a 1", "  b y  a 2", "  b z  a 1", "  b z  a 2"}},
    };
    for (const SensorTextCase &c : cases) {
        const auto sensor =
            algorithm(R"({"name":"A","description":"d","sensors":[{"name":"S","description":"d","options":)" + c.options
                      + "}]}")
                .findSensor(QStringLiteral("S"));
        ASSERT_TRUE(sensor) << c.label;
        EXPECT_EQ(parametersHelp(*sensor), c.parametersHelp) << c.label;
        EXPECT_EQ(optionCombinations(*sensor), c.combinations) << c.label;
    }
}

TEST(HelpTexts, ValuesHelpMarksOnlyMarkedValues)
{
    const std::pair<QByteArray, QString> cases[] = {
        {R"([{"name":"a","parb":"1"}])", "Supported values for p: a"},
        {R"([{"name":"a","parb":"1","default":true}])", "Supported values for p: a (default)"},
        {R"([{"name":"b b","parb":"1"},{"name":"a","parb":"2","default":true}])",
         "Supported values for p: a (default) \"b b\""},
        {"[]", "Supported values for p:"},
    };
    for (const auto &[values, expected] : cases) {
        const auto parameter = algorithm(R"({"name":"A","description":"d","sensors":[{"name":"S","description":"d",
                                             "options":[{"name":"p","description":"d","values":)"
                                         + values + "}]}]}")
                                   .findSensor(QStringLiteral("S"))
                                   ->findParameter(QStringLiteral("p"));
        ASSERT_TRUE(parameter);
        EXPECT_EQ(valuesHelp(*parameter), expected) << values.constData();
    }
}

TEST(HelpTexts, OptionLinesFollowNameOrderAcrossAlgorithmsAndSensors)
{
    const QByteArray twoSensors = R"({"name":"B","description":"d","algorithmVersion":"1.0.0","sensors":[
        {"name":"z","description":"d","options":[{"name":"m","description":"d","values":[{"name":"1","parb":"1"},{"name":"2","parb":"2"}]}]},
        {"name":"a","description":"d","options":[{"name":"m","description":"d","values":[{"name":"1","parb":"1"},{"name":"2","parb":"2"}]}]},
        {"name":"none","description":"d","options":[{"name":"m","values":[{"name":"1","parb":"1"}]}]}]})";
    const AlgorithmOption first = algorithm(presence);
    const AlgorithmOption second = algorithm(twoSensors);
    const QStringList lines = optionLines({{second.name(), second}, {first.name(), first}});
    EXPECT_EQ(
        lines,
        QStringList({"\"B 1.0\" a   m 1", "\"B 1.0\" a   m 2", "\"B 1.0\" z   m 1", "\"B 1.0\" z   m 2",
                     "\"Presence 1.4\" S1   range far  mode fast", "\"Presence 1.4\" S1   range far  mode slow",
                     "\"Presence 1.4\" S1   range near  mode fast", "\"Presence 1.4\" S1   range near  mode slow"}));
}

TEST(HelpTexts, EmptyCatalogue)
{
    const AlgorithmLoader loader;
    EXPECT_EQ(loader.supportedAlgorithmsHelp(), "Supported algorithms:\n");
    EXPECT_TRUE(optionLines(loader.algorithms()).isEmpty());
}

} // namespace
