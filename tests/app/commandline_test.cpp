// The command line in-process, against an rcc-built bundle holding two algorithms: "Presence 1.4"
// (sensor S1 with parameters mode, range and the fixed connection; sensor S2 without parameters; hold
// time 5 to 600 s) and "Multi 2.0" (two sensors, neither marked default). What the program would print
// is the run configuration's warnings and then the outcome's messages, each as a log line.
#include "app/commandline.h"
#include "app/logging.h"
#include "catalogue/algorithmloader.h"
#include "runinfo/runinfo.h"
#include "tests/support/logcapture.h"
#include "tests/support/tablerows.h"

#include <gtest/gtest.h>

namespace Vantrel {
namespace {

using Test::LogCapture;

struct CliCase
{
    const char *name;
    QStringList arguments;
    int status;
    const char *out;
    const char *parserError = ""; // the parser reports it itself, on standard error
};

using Vantrel::Test::operator<<;

const AlgorithmLoader &catalogue()
{
    static const AlgorithmLoader *const loader = [] {
        auto *loaded = new AlgorithmLoader;
        loaded->loadFromFile(QStringLiteral(CLI_BUNDLE));
        return loaded;
    }();
    return *loader;
}

struct Ending
{
    int status = -1;
    QByteArray out;
    QString parserError;
    bool parserOutput = false;
};

// The program's command-line steps up to the start of a run, as the application takes them.
Ending process(const QStringList &arguments)
{
    LogCapture log;
    RunInfo runInfo(catalogue());
    CommandLine commandLine(QStringList{QStringLiteral("vantrel-cli")} + arguments);
    commandLine.setupOptions(QStringLiteral("/tmp/hpd.fifo"), QStringLiteral("/tmp/selected_options.json"));
    commandLine.parse();
    int level = 1;
    CommandLineOutcome outcome = commandLine.readLogLevel(level);
    if (!outcome) {
        commandLine.setupPositionalArgument(catalogue());
        outcome = commandLine.processArguments(catalogue(), runInfo);
    }
    if (!outcome) {
        runInfo.applyDefaultValues();
        outcome = commandLine.checkParams(runInfo);
    }
    int stopAfter = 0;
    if (!outcome)
        outcome = commandLine.readStopAfter(stopAfter);

    Ending ending;
    for (const QString &warning : log.texts(QtWarningMsg))
        ending.out += logLine(warning);
    if (!outcome)
        return ending;
    ending.status = code(outcome->status);
    ending.parserOutput = outcome->output == CommandLineExit::Output::Parser;
    const bool warnings = outcome->output == CommandLineExit::Output::Warnings;
    if (ending.parserOutput)
        ending.parserError = outcome->messages.value(0);
    else
        // Warnings go through the log, which trims them; a log line is written as it is.
        for (const QString &message : outcome->messages)
            ending.out += logLine(warnings ? message.trimmed() : message);
    return ending;
}

class CommandLineEnding : public ::testing::TestWithParam<CliCase>
{};

TEST_P(CommandLineEnding, PrintsTheMessageAndEndsWithItsStatus)
{
    const CliCase &c = GetParam();
    const Ending ending = process(QStringList{QStringLiteral("-f"), QStringLiteral(CLI_BUNDLE)} + c.arguments);
    EXPECT_EQ(ending.status, c.status);
    EXPECT_EQ(ending.out.toStdString(), std::string(c.out));
    EXPECT_EQ(ending.parserOutput, *c.parserError != '\0');
    EXPECT_TRUE(ending.parserError.contains(QString::fromUtf8(c.parserError))) << ending.parserError.toStdString();
}

const QString presence = QStringLiteral("Presence 1.4");

INSTANTIATE_TEST_SUITE_P(
    Help, CommandLineEnding,
    ::testing::Values(
        CliCase{"Algorithm",
                {presence, "-h"},
                0,
                "# Presence 1.4: Presence detection\n"
                "# Supported sensors for \"Presence 1.4\": S1 S2\n"
                "# Type Presence 1.4 <sensor_name> -h/--help to get sensor specific options.\n"},
        CliCase{"AlgorithmLongOption",
                {"--help", presence},
                0,
                "# Presence 1.4: Presence detection\n"
                "# Supported sensors for \"Presence 1.4\": S1 S2\n"
                "# Type Presence 1.4 <sensor_name> -h/--help to get sensor specific options.\n"},
        CliCase{"Sensor",
                {presence, "S1", "-h"},
                0,
                "# S1: Simulated\n"
                "# Supported parameters for S1: [mode <value>] range <value>\n"
                "# Type Presence 1.4 S1 <parameter> -h/--help to get parameter options.\n"},
        CliCase{"SensorWithoutParameters",
                {presence, "S2", "-h"},
                0,
                "# Presence 1.4: S2: Second sensor\n# Doesn't have any parameters\n"},
        CliCase{"Parameter",
                {presence, "S1", "mode", "-h"},
                0,
                "# mode: Detection mode\n"
                "# Supported values for mode: fast (default) slow\n"
                "# Type Presence 1.4 S1 mode <parameter_option> -h/--help to get options details.\n"},
        CliCase{"Value", {presence, "S1", "range", "near", "-h"}, 0, "# near: Near range\n"},
        CliCase{"ValueWithoutDescription", {presence, "S1", "range", "far", "-h"}, 0, "# far: no descripion\n"},
        CliCase{"HelpWinsOverUnknownOption",
                {presence, "-h", "--bogus"},
                0,
                "# Presence 1.4: Presence detection\n"
                "# Supported sensors for \"Presence 1.4\": S1 S2\n"
                "# Type Presence 1.4 <sensor_name> -h/--help to get sensor specific options.\n"},
        CliCase{"PrintOptionsAfterValidWords",
                {presence, "S1", "mode", "fast", "--print-options"},
                0,
                "# \"Presence 1.4\" S1   range far  mode fast\n"
                "# \"Presence 1.4\" S1   range far  mode slow\n"
                "# \"Presence 1.4\" S1   range near  mode fast\n"
                "# \"Presence 1.4\" S1   range near  mode slow\n"}),
    Vantrel::Test::RowName());

INSTANTIATE_TEST_SUITE_P(
    Errors, CommandLineEnding,
    ::testing::Values(
        CliCase{"UnknownAlgorithm",
                {"Nope", "-s"},
                3,
                "# Unknown algorithm: Nope, Supported algorithms:\n# \"Multi 2.0\"\n# \"Presence 1.4\"\n"},
        CliCase{"UnknownSensor", {presence, "S9", "-s"}, 3, "# Uknown sensor S9\n"},
        CliCase{"UnknownParameter",
                {presence, "S1", "bogus", "x"},
                3,
                "# Unknown parameter: bogus.\n# Supported parameters for S1: [mode <value>] range <value>\n"},
        CliCase{"UnknownValue",
                {presence, "S1", "mode", "turbo"},
                3,
                "# Unknown parameter value: turbo.\n# Supported values for mode: fast (default) slow\n"},
        CliCase{"MissingValue",
                {presence, "S1", "range", "near", "mode"},
                3,
                "# Parameter value must be specified for mode.\n# Supported values for mode: fast (default) slow\n"},
        CliCase{"ExtraWords",
                {presence, "S1", "mode", "fast", "range", "near", "connection", "Simulation", "extra", "-s"},
                3,
                "# Unknown parameter: extra.\n# Supported parameters for S1: [mode <value>] range <value>\n"},
        CliCase{"NoPositionalWords", {}, 3, "# Not all mandatory parameters have been provided\n"},
        CliCase{"EmptyAlgorithmWordThenSensor", {"", "S1", "-s"}, 3, "# Algorithm must be specified before sensor\n"},
        CliCase{"EmptyAlgorithmWordAlone", {"", "-s"}, 3, "# Not all mandatory parameters have been provided\n"},
        CliCase{"MandatoryParameterMissing",
                {presence, "S1", "-s"},
                3,
                "# Not all mandatory parameters have been provided\n"},
        CliCase{"NoDefaultSensor", {"Multi 2.0", "-s"}, 3, "# Not all mandatory parameters have been provided\n"},
        CliCase{"NoOutputEnabled",
                {presence, "S1", "range", "near"},
                3,
                "# At least one output should be enabled: GUI, standart output or named pipe (fifo)\n"},
        CliCase{"UnknownOptionAlone", {"--bogus"}, 1, "", "Unknown option 'bogus'."},
        CliCase{"UnknownOptionAfterPositionalError", {presence, "S9", "--bogus"}, 3, "# Uknown sensor S9\n"},
        CliCase{"NoGuiIsNotAnOption", {"--no-gui"}, 1, "", "Unknown option 'no-gui'."},
        CliCase{"LogLevelTooHigh", {"-l", "8", presence, "S9"}, 3, "# Wrong log level: 8\n"},
        CliCase{"LogLevelZero", {"-l", "0"}, 3, "# Wrong log level: 0\n"},
        CliCase{"LogLevelNotANumber", {"--loglevel", "abc"}, 3, "# Wrong log level: abc\n"},
        CliCase{"StopAfterZero",
                {presence, "S1", "range", "near", "-s", "--stop-after", "0"},
                3,
                "# Bad value for running time\n"},
        CliCase{"StopAfterNotANumber",
                {presence, "S1", "range", "near", "-s", "--stop-after", "x"},
                3,
                "# Bad value for running time\n"},
        CliCase{"StopAfterBeyondTheTimer",
                {presence, "S1", "range", "near", "-s", "--stop-after", "2147484"},
                3,
                "# Bad value for running time\n"}),
    Vantrel::Test::RowName());

// Accepted hold times go on to the output check, which fails without -s or -p.
const char timeoutAccepted[] = "# At least one output should be enabled: GUI, standart output or named pipe (fifo)\n";

INSTANTIATE_TEST_SUITE_P(
    Timeout, CommandLineEnding,
    ::testing::Values(
        CliCase{"BelowRange",
                {presence, "S1", "range", "near", "-t", "4"},
                3,
                "# Presence timeout can't be less than 5 seconds. Provided value: 4\n"},
        CliCase{"AtStart", {presence, "S1", "range", "near", "-t", "5"}, 3, timeoutAccepted},
        CliCase{"AtEnd", {presence, "S1", "range", "near", "--timeout", "600"}, 3, timeoutAccepted},
        CliCase{"AboveRange",
                {presence, "S1", "range", "near", "-t", "601"},
                3,
                "# Presence timeout can't be more than 600 seconds. Provided value: 601\n"},
        CliCase{"BeyondSigned32Bits",
                {presence, "S1", "range", "near", "-t", "2147483648"},
                3,
                "# Presence timeout can't be more than 600 seconds. Provided value: 2147483648\n"},
        CliCase{"BeyondUnsigned32Bits",
                {presence, "S1", "range", "near", "-t", "4294967296"},
                3,
                "# Presence timeout can't be more than 600 seconds. Provided value: 4294967296\n"},
        CliCase{"ZeroWithoutAlgorithm", {"-t", "0"}, 3, "# Not all mandatory parameters have been provided\n"},
        CliCase{"TenWithoutAlgorithm", {"-t", "10"}, 3, "# Algortithm name must be specified for timeout\n"},
        CliCase{"Negative",
                {presence, "S1", "range", "near", "--timeout", "-1"},
                3,
                "# Invalid value for presence timeout: -1\n"},
        CliCase{"Fraction",
                {presence, "S1", "range", "near", "-t", "2.5"},
                3,
                "# Invalid value for presence timeout: 2.5\n"}),
    Vantrel::Test::RowName());

TEST(CommandLine, ACompleteSelectionWithAnOutputGoesOnToTheRun)
{
    const Ending ending = process({QStringLiteral("-f"), QStringLiteral(CLI_BUNDLE), presence, QStringLiteral("S1"),
                                   QStringLiteral("range"), QStringLiteral("near"), QStringLiteral("-s"),
                                   QStringLiteral("--stop-after"), QStringLiteral("2147483")});
    EXPECT_EQ(ending.status, -1) << ending.out.toStdString();
    EXPECT_EQ(ending.out, QByteArray());
}

} // namespace
} // namespace Vantrel
