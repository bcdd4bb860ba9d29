// The options file between the two programs: what vantrel-cli writes, vantrel-frames reads back.
#include "stream/savedoptions.h"

#include "tests/support/tablerows.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace Vantrel {
namespace {

QString fileWith(const QTemporaryDir &dir, const QByteArray &contents)
{
    const QString path = dir.filePath(QStringLiteral("options.json"));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(contents);
    return path;
}

TEST(SavedOptions, ReadBackAsWritten)
{
    SavedRunOptions written;
    written.algorithm = QStringLiteral("Presence 1.0");
    written.timeout = 2.5;
    written.graphCommitHash = QStringLiteral("c0ffee");
    written.graphBuildID = QStringLiteral("42");
    written.parameters = {{QStringLiteral("FPS"), QStringLiteral("fps-5.parb")},
                          {QStringLiteral("connection"), QStringLiteral("connection-simulation.parb")}};
    const QTemporaryDir dir;
    QString error;

    const std::optional<SavedRunOptions> read = SavedRunOptions::read(fileWith(dir, written.toJson()), error);

    ASSERT_TRUE(read) << error.toStdString();
    EXPECT_EQ(read->algorithm, written.algorithm);
    EXPECT_EQ(read->timeout, written.timeout);
    EXPECT_EQ(read->graphCommitHash, written.graphCommitHash);
    EXPECT_EQ(read->graphBuildID, written.graphBuildID);
    EXPECT_EQ(read->parameters, written.parameters);
}

struct BadFile
{
    const char *name;
    QByteArray contents;
    const char *error;
};

using Test::operator<<;

class SavedOptionsRefused : public ::testing::TestWithParam<BadFile>
{};

TEST_P(SavedOptionsRefused, SayingWhy)
{
    const QTemporaryDir dir;
    QString error;
    EXPECT_FALSE(SavedRunOptions::read(fileWith(dir, GetParam().contents), error));
    EXPECT_EQ(error.toStdString(), GetParam().error);
}

const std::vector<BadFile> badFiles = {
    {"NotJson", "{", "unterminated object"},
    {"NotAnObject", "[1]", "not a JSON object"},
    {"NoHoldTime", R"({"algorithm":"Presence 1.0"})", R"(no hold time ("timeout") from 0 to 2147483 seconds)"},
    {"NegativeHoldTime", R"({"timeout":-1})", R"(no hold time ("timeout") from 0 to 2147483 seconds)"},
    {"HoldTimeBeyondTimers", R"({"timeout":2147484})", R"(no hold time ("timeout") from 0 to 2147483 seconds)"},
    {"LargerThanAnyOfOurs", QByteArray((1 << 20) + 1, ' '), "larger than 1 MiB"},
};
INSTANTIATE_TEST_SUITE_P(Files, SavedOptionsRefused, ::testing::ValuesIn(badFiles), Test::RowName());

struct NotAFile
{
    const char *name;
    int (*make)(const char *path, const char *validFile); // 0 when made
};

class SavedOptionsNotAFile : public ::testing::TestWithParam<NotAFile>
{};

// Refused at once: a FIFO is not waited on, a link (even to a good file) not followed.
TEST_P(SavedOptionsNotAFile, IsRefused)
{
    const QTemporaryDir dir;
    const QByteArray valid = QFile::encodeName(fileWith(dir, R"({"timeout":1})"));
    const QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("planted")));
    ASSERT_EQ(GetParam().make(path.constData(), valid.constData()), 0);
    QString error;
    EXPECT_FALSE(SavedRunOptions::read(QFile::decodeName(path), error));
    EXPECT_EQ(error.toStdString(), "not a regular file");
}

INSTANTIATE_TEST_SUITE_P(
    Paths, SavedOptionsNotAFile,
    ::testing::Values(NotAFile{"Fifo", [](const char *path, const char *) { return ::mkfifo(path, 0600); }},
                      NotAFile{"LinkToAGoodFile",
                               [](const char *path, const char *valid) { return ::symlink(valid, path); }},
                      NotAFile{"Directory", [](const char *path, const char *) { return ::mkdir(path, 0700); }}),
    Test::RowName());

} // namespace
} // namespace Vantrel
