// The real executable started the way supervisors and attackers start it: with standard
// descriptors closed, with files planted at the saved options path, under a file size limit, and
// with a log level made to look like data.
#include "tests/support/tablerows.h"
#include "tests/support/testprogram.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <ostream>
#include <vector>
#include <sys/stat.h>

namespace {

using Vantrel::Test::TestProgram;

const QString presenceBundle = QStringLiteral(SAMPLE_BUNDLE_DIR "/presence.hpd");
// Only ends a test early when something is wrong; these runs take a few seconds.
constexpr int timeoutMs = 30000;

QStringList presenceRun(const QStringList &options)
{
    return QStringList{QStringLiteral("-f"),         presenceBundle,        QStringLiteral("Presence 1.0"),
                       QStringLiteral("Simulation"), QStringLiteral("FPS"), QStringLiteral("20")}
           + options;
}

// The executable started from a shell script that ends in exec "$0" "$@", so the program inherits
// whatever the script sets up, as it would from a supervisor.
QStringList throughShell(const QString &script, const QStringList &arguments)
{
    return QStringList{QStringLiteral("-c"), script, Vantrel::Test::cliProgram()} + arguments;
}

// What is at the path, seen without following links: a file with its content, a link with its
// target, or the kind of thing.
QByteArray describe(const QString &path)
{
    struct stat status = {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return "absent";
    if (S_ISLNK(status.st_mode))
        return "link to " + QFile::encodeName(QFile::symLinkTarget(path));
    if (S_ISFIFO(status.st_mode))
        return "fifo";
    QFile file(path);
    return S_ISREG(status.st_mode) && file.open(QIODevice::ReadOnly) ? "file: " + file.readAll() : "other";
}

struct ClosedCase
{
    const char *name;
    const char *redirections;
    std::vector<int> closed;
};

using Vantrel::Test::operator<<;

class ClosedStandardDescriptors : public ::testing::TestWithParam<ClosedCase>
{};

TEST_P(ClosedStandardDescriptors, AreFilledWithDevNullAndTheRunEndsAsUsual)
{
    QTemporaryDir dir;
    const QString options = dir.filePath(QStringLiteral("selected_options.json"));
    TestProgram cli(QStringLiteral("/bin/sh"));
    cli.keepInputOpen();
    ASSERT_TRUE(cli.start(throughShell(QStringLiteral("exec \"$0\" \"$@\" ") + GetParam().redirections,
                                       presenceRun({"-s", "-p", "--pipe-name", dir.filePath(QStringLiteral("hpd.fifo")),
                                                    "--options-path", options, "--stop-after", "2"}))));
    // The options file is written once the run is under way, with all of the program's own
    // descriptors open.
    const QDeadlineTimer deadline(timeoutMs);
    while (!QFileInfo::exists(options) && !cli.hasEnded() && !deadline.hasExpired())
        QThread::msleep(10);
    ASSERT_TRUE(QFileInfo::exists(options));
    const QString process = QStringLiteral("/proc/%1/").arg(cli.processId());
    // Under an emulator (qemu-user) the emulator's own files share the program's descriptor numbers.
    if (QFileInfo(process + "exe").canonicalFilePath() == QFileInfo(Vantrel::Test::cliProgram()).canonicalFilePath()) {
        for (int fd : GetParam().closed)
            EXPECT_EQ(QFile::symLinkTarget(process + "fd/" + QString::number(fd)).toStdString(), "/dev/null") << fd;
    }
    ASSERT_TRUE(cli.waitForExit(timeoutMs));
    EXPECT_TRUE(cli.exitedNormally());
    EXPECT_EQ(cli.exitCode(), 0);
}

INSTANTIATE_TEST_SUITE_P(Startup, ClosedStandardDescriptors,
                         ::testing::Values(ClosedCase{"StdoutClosed", ">&-", {1}},
                                           ClosedCase{"AllThreeClosed", "<&- >&- 2>&-", {0, 1, 2}}),
                         Vantrel::Test::RowName());

enum class Planted { LinkToFile, Fifo, File };

struct OptionsPathCase
{
    const char *name;
    Planted planted;
    const char *setup; // shell commands before the program starts
    const char *warning;
};

class SavedOptionsPath : public ::testing::TestWithParam<OptionsPathCase>
{};

TEST_P(SavedOptionsPath, KeepsWhatIsThereAndTheRunGoesOn)
{
    const OptionsPathCase &c = GetParam();
    QTemporaryDir dir;
    const QString options = dir.filePath(QStringLiteral("selected_options.json"));
    const QString someoneElses = dir.filePath(QStringLiteral("someone-elses"));
    QFile kept(c.planted == Planted::File ? options : someoneElses);
    ASSERT_TRUE(kept.open(QIODevice::WriteOnly) && kept.write("kept\n") == 5);
    kept.close();
    if (c.planted == Planted::LinkToFile) {
        ASSERT_TRUE(QFile::link(someoneElses, options));
    } else if (c.planted == Planted::Fifo) {
        ASSERT_EQ(::mkfifo(QFile::encodeName(options).constData(), 0600), 0);
    }
    const QByteArray before = describe(options) + ", " + describe(someoneElses);

    TestProgram shell(QStringLiteral("/bin/sh"));
    shell.keepInputOpen();
    const TestProgram::Result result =
        shell.run(throughShell(QString::fromLatin1(c.setup) + QStringLiteral("exec \"$0\" \"$@\""),
                               presenceRun({"-p", "--pipe-name", dir.filePath(QStringLiteral("hpd.fifo")),
                                            "--options-path", options, "--stop-after", "1"})),
                  timeoutMs);
    EXPECT_FALSE(result.crashed);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out.toStdString(), "# " + QString::fromLatin1(c.warning).arg(options).toStdString() + '\n');
    EXPECT_EQ((describe(options) + ", " + describe(someoneElses)).toStdString(), before.toStdString());
}

INSTANTIATE_TEST_SUITE_P(
    Planted, SavedOptionsPath,
    ::testing::Values(OptionsPathCase{"Link", Planted::LinkToFile, "", "Couldn't open file %1 to save parameters"},
                      OptionsPathCase{"Fifo", Planted::Fifo, "", "Couldn't open file %1 to save parameters"},
                      // The file size limit makes the file system refuse the document, as a full one would.
                      OptionsPathCase{"FileThatCannotTakeTheDocument", Planted::File, "trap '' XFSZ; ulimit -f 0; ",
                                      "Couldn't write parameters to file %1"}),
    Vantrel::Test::RowName());

TEST(LogLevel, WrongLevelTextCannotPassForData)
{
    TestProgram cli;
    const TestProgram::Result result = cli.run({QStringLiteral("-l"), QStringLiteral("x\n1634552761952;\t738;\t1;\t")});
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.out.toStdString(), "# Wrong log level: x\n# 1634552761952;\t738;\t1;\t\n");
}

} // namespace
