// The command line of the real executable against an rcc-built bundle holding two algorithms:
// "Presence 1.4" (sensor S1 with parameters mode, range and the fixed connection; sensor S2 without
// parameters; hold time 5 to 600 s) and "Multi 2.0" (two sensors, neither marked default).
#include "clirunner.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

struct CliCase
{
    const char *name;
    QStringList arguments;
    int status;
    const char *out;
    const char *errContains = "";
};

const char presenceSensorsHelp[] = "# Supported sensors for \"Presence 1.4\": S1 S2\n";
const char s1ParametersHelp[] = "# Supported parameters for S1: [mode <value>] range <value>\n";
const char modeValuesHelp[] = "# Supported values for mode: fast (default) slow\n";

class CommandLine : public ::testing::TestWithParam<CliCase>
{};

TEST_P(CommandLine, PrintsTheMessageAndEndsWithItsStatus)
{
    const CliCase &c = GetParam();
    CliRunner cli;
    const CliRunner::Result result = cli.run(QStringList{QStringLiteral("-f"), CliRunner::bundle("cli")} + c.arguments);
    ASSERT_FALSE(result.crashed);
    EXPECT_EQ(result.exitCode, c.status);
    EXPECT_EQ(result.out.toStdString(), std::string(c.out));
    EXPECT_NE(result.err.indexOf(c.errContains), -1) << result.err.toStdString();
}

const QString presence = QStringLiteral("Presence 1.4");

INSTANTIATE_TEST_SUITE_P(
    Help, CommandLine,
    ::testing::Values(
        CliCase{"Algorithm", {presence, "-h"}, 0,
                "# Presence 1.4: Presence detection\n"
                "# Supported sensors for \"Presence 1.4\": S1 S2\n"
                "# Type Presence 1.4 <sensor_name> -h/--help to get sensor specific options.\n"},
        CliCase{"AlgorithmLongOption", {"--help", presence}, 0,
                "# Presence 1.4: Presence detection\n"
                "# Supported sensors for \"Presence 1.4\": S1 S2\n"
                "# Type Presence 1.4 <sensor_name> -h/--help to get sensor specific options.\n"},
        CliCase{"Sensor", {presence, "S1", "-h"}, 0,
                "# S1: Simulated\n"
                "# Supported parameters for S1: [mode <value>] range <value>\n"
                "# Type Presence 1.4 S1 <parameter> -h/--help to get parameter options.\n"},
        CliCase{"SensorWithoutParameters", {presence, "S2", "-h"}, 0,
                "# Presence 1.4: S2: Second sensor\n# Doesn't have any parameters\n"},
        CliCase{"Parameter", {presence, "S1", "mode", "-h"}, 0,
                "# mode: Detection mode\n"
                "# Supported values for mode: fast (default) slow\n"
                "# Type Presence 1.4 S1 mode <parameter_option> -h/--help to get options details.\n"},
        CliCase{"Value", {presence, "S1", "range", "near", "-h"}, 0, "# near: Near range\n"},
        CliCase{"ValueWithoutDescription", {presence, "S1", "range", "far", "-h"}, 0, "# far: no descripion\n"},
        CliCase{"HelpWinsOverUnknownOption", {presence, "-h", "--bogus"}, 0,
                "# Presence 1.4: Presence detection\n"
                "# Supported sensors for \"Presence 1.4\": S1 S2\n"
                "# Type Presence 1.4 <sensor_name> -h/--help to get sensor specific options.\n"},
        CliCase{"PrintOptionsAfterValidWords", {presence, "S1", "mode", "fast", "--print-options"}, 0,
                "# \"Presence 1.4\" S1   range far  mode fast\n"
                "# \"Presence 1.4\" S1   range far  mode slow\n"
                "# \"Presence 1.4\" S1   range near  mode fast\n"
                "# \"Presence 1.4\" S1   range near  mode slow\n"}),
    [](const ::testing::TestParamInfo<CliCase> &info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Errors, CommandLine,
    ::testing::Values(
        CliCase{"UnknownAlgorithm", {"Nope", "-s"}, 3,
                "# Unknown algorithm: Nope, Supported algorithms:\n# \"Multi 2.0\"\n# \"Presence 1.4\"\n"},
        CliCase{"UnknownSensor", {presence, "S9", "-s"}, 3, "# Uknown sensor S9\n"},
        CliCase{"UnknownParameter", {presence, "S1", "bogus", "x"}, 3,
                "# Unknown parameter: bogus.\n# Supported parameters for S1: [mode <value>] range <value>\n"},
        CliCase{"UnknownValue", {presence, "S1", "mode", "turbo"}, 3,
                "# Unknown parameter value: turbo.\n# Supported values for mode: fast (default) slow\n"},
        CliCase{"MissingValue", {presence, "S1", "range", "near", "mode"}, 3,
                "# Parameter value must be specified for mode.\n# Supported values for mode: fast (default) slow\n"},
        CliCase{"ExtraWords",
                {presence, "S1", "mode", "fast", "range", "near", "connection", "Simulation", "extra", "-s"}, 3,
                "# Unknown parameter: extra.\n# Supported parameters for S1: [mode <value>] range <value>\n"},
        CliCase{"NoPositionalWords", {}, 3, "# Not all mandatory parameters have been provided\n"},
        CliCase{"EmptyAlgorithmWordThenSensor", {"", "S1", "-s"}, 3, "# Algorithm must be specified before sensor\n"},
        CliCase{"EmptyAlgorithmWordAlone", {"", "-s"}, 3, "# Not all mandatory parameters have been provided\n"},
        CliCase{"MandatoryParameterMissing", {presence, "S1", "-s"}, 3,
                "# Not all mandatory parameters have been provided\n"},
        CliCase{"NoDefaultSensor", {"Multi 2.0", "-s"}, 3, "# Not all mandatory parameters have been provided\n"},
        CliCase{"NoOutputEnabled", {presence, "S1", "range", "near"}, 3,
                "# At least one output should be enabled: GUI, standart output or named pipe (fifo)\n"},
        CliCase{"UnknownOptionAlone", {"--bogus"}, 1, "", "Unknown option 'bogus'."},
        CliCase{"UnknownOptionAfterPositionalError", {presence, "S9", "--bogus"}, 3, "# Uknown sensor S9\n"},
        CliCase{"NoGuiIsNotAnOption", {"--no-gui"}, 1, "", "Unknown option 'no-gui'."},
        CliCase{"LogLevelTooHigh", {"-l", "8", presence, "S9"}, 3, "# Wrong log level: 8\n"},
        CliCase{"LogLevelZero", {"-l", "0"}, 3, "# Wrong log level: 0\n"},
        CliCase{"LogLevelNotANumber", {"--loglevel", "abc"}, 3, "# Wrong log level: abc\n"},
        CliCase{"StopAfterZero", {presence, "S1", "range", "near", "-s", "--stop-after", "0"}, 3,
                "# Bad value for running time\n"},
        CliCase{"StopAfterNotANumber", {presence, "S1", "range", "near", "-s", "--stop-after", "x"}, 3,
                "# Bad value for running time\n"},
        CliCase{"StopAfterBeyondTheTimer", {presence, "S1", "range", "near", "-s", "--stop-after", "2147484"}, 3,
                "# Bad value for running time\n"}),
    [](const ::testing::TestParamInfo<CliCase> &info) { return std::string(info.param.name); });

// Accepted hold times go on to the output check, which fails without -s or -p.
const char timeoutAccepted[] = "# At least one output should be enabled: GUI, standart output or named pipe (fifo)\n";

INSTANTIATE_TEST_SUITE_P(
    Timeout, CommandLine,
    ::testing::Values(
        CliCase{"BelowRange", {presence, "S1", "range", "near", "-t", "4"}, 3,
                "# Presence timeout can't be less than 5 seconds. Provided value: 4\n"},
        CliCase{"AtStart", {presence, "S1", "range", "near", "-t", "5"}, 3, timeoutAccepted},
        CliCase{"AtEnd", {presence, "S1", "range", "near", "--timeout", "600"}, 3, timeoutAccepted},
        CliCase{"AboveRange", {presence, "S1", "range", "near", "-t", "601"}, 3,
                "# Presence timeout can't be more than 600 seconds. Provided value: 601\n"},
        CliCase{"BeyondSigned32Bits", {presence, "S1", "range", "near", "-t", "2147483648"}, 3,
                "# Presence timeout can't be more than 600 seconds. Provided value: 2147483648\n"},
        CliCase{"BeyondUnsigned32Bits", {presence, "S1", "range", "near", "-t", "4294967296"}, 3,
                "# Presence timeout can't be more than 600 seconds. Provided value: 4294967296\n"},
        CliCase{"ZeroWithoutAlgorithm", {"-t", "0"}, 3, "# Not all mandatory parameters have been provided\n"},
        CliCase{"TenWithoutAlgorithm", {"-t", "10"}, 3, "# Algortithm name must be specified for timeout\n"},
        CliCase{"Negative", {presence, "S1", "range", "near", "--timeout", "-1"}, 3,
                "# Invalid value for presence timeout: -1\n"},
        CliCase{"Fraction", {presence, "S1", "range", "near", "-t", "2.5"}, 3,
                "# Invalid value for presence timeout: 2.5\n"}),
    [](const ::testing::TestParamInfo<CliCase> &info) { return std::string(info.param.name); });

struct LogLevelCase
{
    const char *level;
    bool info;
    bool debug;
};

class LogLevel : public ::testing::TestWithParam<LogLevelCase>
{};

// Loading the bundle logs an info record, and a parameter restricted to another platform a debug
// record; the unknown sensor is a warning, printed at every level.
TEST_P(LogLevel, FiltersRecordsByType)
{
    CliRunner cli;
    const CliRunner::Result result =
        cli.run({"-l", GetParam().level, "-f", CliRunner::bundle("cli"), "Multi 2.0", "C", "-s"});
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.out.contains("# Registering resources from cli.hpd\n"), GetParam().info) << result.out.toStdString();
    EXPECT_EQ(result.out.contains("# Ignoring parameter which is not supported on current platform.\n"), GetParam().debug)
        << result.out.toStdString();
    EXPECT_TRUE(result.out.endsWith("# Uknown sensor C\n")) << result.out.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Levels, LogLevel,
                         ::testing::Values(LogLevelCase{"1", false, false}, LogLevelCase{"2", true, false},
                                           LogLevelCase{"3", true, true}, LogLevelCase{"7", true, true}),
                         [](const ::testing::TestParamInfo<LogLevelCase> &info) {
                             return std::string("Level") + info.param.level;
                         });

// Whatever is named with -f, only a bounded regular file is read: a device that never ends, a FIFO
// without a writer (opening it to read would block) and a directory are refused at once, and the
// program goes on with an empty catalogue.
TEST(BundleFile, NonRegularFilesAreRefusedWithoutReading)
{
    CliRunner cli;
    const QString fifo = cli.home() + QStringLiteral("/planted.hpd");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString &path : {QStringLiteral("/dev/zero"), fifo, cli.home()}) {
        const CliRunner::Result result = cli.run({"-f", path, "--print-options"}, 10000);
        ASSERT_FALSE(result.crashed) << qPrintable(path);
        EXPECT_EQ(result.exitCode, 0) << qPrintable(path);
        EXPECT_EQ(result.out.toStdString(),
                  "# Couldn't register resources from " + QFileInfo(path).fileName().toStdString() + "\n");
    }
}

} // namespace
