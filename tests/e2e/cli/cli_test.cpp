// The command line of the real executable against an rcc-built bundle holding two algorithms:
// "Presence 1.4" (sensor S1 with parameters mode, range and the fixed connection; sensor S2 without
// parameters; hold time 5 to 600 s) and "Multi 2.0" (two sensors, neither marked default).
#include "tests/support/tablerows.h"
#include "tests/support/testprogram.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

using Vantrel::Test::TestProgram;

const QString cliBundle = QStringLiteral(E2E_BUNDLE_DIR "/cli.hpd");

struct CliCase
{
    const char *name;
    QStringList arguments;
    int status;
    const char *out;
    const char *errContains = "";
};

using Vantrel::Test::operator<<;

class CommandLine : public ::testing::TestWithParam<CliCase>
{};

TEST_P(CommandLine, PrintsTheMessageAndEndsWithItsStatus)
{
    const CliCase &c = GetParam();
    TestProgram cli;
    const TestProgram::Result result = cli.run(QStringList{QStringLiteral("-f"), cliBundle} + c.arguments);
    ASSERT_FALSE(result.crashed);
    EXPECT_EQ(result.exitCode, c.status);
    EXPECT_EQ(result.out.toStdString(), std::string(c.out));
    EXPECT_NE(result.err.indexOf(c.errContains), -1) << result.err.toStdString();
}

const QString presence = QStringLiteral("Presence 1.4");

// The command line's cases are checked in-process; these show each way it prints, in the real program.
INSTANTIATE_TEST_SUITE_P(
    Endings, CommandLine,
    ::testing::Values(
        CliCase{"AlgorithmHelpIsLogged",
                {presence, "-h"},
                0,
                "# Presence 1.4: Presence detection\n"
                "# Supported sensors for \"Presence 1.4\": S1 S2\n"
                "# Type Presence 1.4 <sensor_name> -h/--help to get sensor specific options.\n"},
        CliCase{"PrintOptionsOneLineEach",
                {presence, "S1", "mode", "fast", "--print-options"},
                0,
                "# \"Presence 1.4\" S1   range far  mode fast\n"
                "# \"Presence 1.4\" S1   range far  mode slow\n"
                "# \"Presence 1.4\" S1   range near  mode fast\n"
                "# \"Presence 1.4\" S1   range near  mode slow\n"},
        CliCase{"UnknownSensorFromTheRunConfiguration", {presence, "S9", "-s"}, 3, "# Uknown sensor S9\n"},
        CliCase{"ParserErrorOnStandardError", {"--bogus"}, 1, "", "Unknown option 'bogus'."},
        CliCase{"WrongLogLevelBeforeAnythingElse", {"-l", "8", presence, "S9"}, 3, "# Wrong log level: 8\n"},
        CliCase{"BadRunningTime",
                {presence, "S1", "range", "near", "-s", "--stop-after", "0"},
                3,
                "# Bad value for running time\n"}),
    Vantrel::Test::RowName());

struct LogLevelCase
{
    const char *name;
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
    TestProgram cli;
    const TestProgram::Result result = cli.run({"-l", GetParam().level, "-f", cliBundle, "Multi 2.0", "C", "-s"});
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.out.contains("# Registering resources from cli.hpd\n"), GetParam().info)
        << result.out.toStdString();
    EXPECT_EQ(result.out.contains("# Ignoring parameter which is not supported on current platform.\n"),
              GetParam().debug)
        << result.out.toStdString();
    EXPECT_TRUE(result.out.endsWith("# Uknown sensor C\n")) << result.out.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Levels, LogLevel,
                         ::testing::Values(LogLevelCase{"Level1", "1", false, false},
                                           LogLevelCase{"Level2", "2", true, false},
                                           LogLevelCase{"Level3", "3", true, true},
                                           LogLevelCase{"Level7", "7", true, true}),
                         Vantrel::Test::RowName());

// Whatever is named with -f, only a bounded regular file is read: a device that never ends, a FIFO
// without a writer (opening it to read would block) and a directory are refused at once, and the
// program goes on with an empty catalogue.
TEST(BundleFile, NonRegularFilesAreRefusedWithoutReading)
{
    TestProgram cli;
    const QString fifo = cli.home().path() + QStringLiteral("/planted.hpd");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString &path : {QStringLiteral("/dev/zero"), fifo, cli.home().path()}) {
        const TestProgram::Result result = cli.run({"-f", path, "--print-options"}, 10000);
        ASSERT_FALSE(result.crashed) << qPrintable(path);
        EXPECT_EQ(result.exitCode, 0) << qPrintable(path);
        EXPECT_EQ(result.out.toStdString(),
                  "# Couldn't register resources from " + QFileInfo(path).fileName().toStdString() + "\n");
    }
}

} // namespace
