// Replacing a file whole, in a directory where others may have planted links, FIFOs or directories.
#include "process/filereplacement.h"
#include "tests/support/tablerows.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <ostream>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using Vantrel::FileReplacement;

namespace {

const QByteArray document = QByteArrayLiteral("{\n    \"algorithm\": \"Presence 1.0\"\n}\n");

std::string regularFile(mode_t mode, const QByteArray &content)
{
    return "file " + QByteArray::number(mode & 0777, 8).toStdString() + ": " + content.toStdString();
}

// What is at the path, seen without following links.
std::string describe(const QString &path)
{
    struct stat status = {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return "absent";
    if (S_ISLNK(status.st_mode))
        return "link to " + QFile::encodeName(QFile::symLinkTarget(path)).toStdString();
    if (!S_ISREG(status.st_mode))
        return S_ISFIFO(status.st_mode) ? "fifo" : "directory";
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? regularFile(status.st_mode, file.readAll()) : "unreadable";
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.flush()
           && file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
}

mode_t newFileMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

enum class Planted { Nothing, File, LinkToFile, Fifo, Directory };

bool plant(Planted planted, const QString &path, const QString &linkTarget)
{
    switch (planted) {
    case Planted::Nothing:
        return true;
    case Planted::File:
        return writeFile(path, "an older and longer document\n");
    case Planted::LinkToFile:
        return QFile::link(linkTarget, path);
    case Planted::Fifo:
        return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
    case Planted::Directory:
        return QDir().mkdir(path);
    }
    return false;
}

struct ReplacementCase
{
    const char *name;
    Planted planted;
    bool afterTheCheck; // planted between open() and commit(), as a racing attacker would
    rlim_t fileSizeLimit; // when nonzero, the file system refuses the document as a full one would
    bool replaced;
};

using Vantrel::Test::operator<<;

class FileReplacementAtPath : public ::testing::TestWithParam<ReplacementCase>
{};

TEST_P(FileReplacementAtPath, ReplacesAbsentOrRegularFilesOnlyAndLeavesNothingBehind)
{
    const ReplacementCase &c = GetParam();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("options.json"));
    const QString someoneElses = dir.filePath(QStringLiteral("someone-elses"));
    ASSERT_TRUE(writeFile(someoneElses, "theirs\n"));
    std::string planted;
    const auto plantNow = [&] {
        ASSERT_TRUE(plant(c.planted, path, someoneElses));
        planted = describe(path);
    };
    rlimit unlimited = {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &unlimited), 0);
    const rlimit limited = {c.fileSizeLimit, unlimited.rlim_max};
    // Over the limit, a write fails instead of ending the process.
    std::signal(SIGXFSZ, SIG_IGN);

    if (!c.afterTheCheck)
        plantNow();
    // Holding the read end lets a wrong open of the FIFO go through instead of blocking the test.
    const int fifoReader =
        c.planted == Planted::Fifo ? ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK) : -1;
    bool replaced = false;
    {
        FileReplacement file(path);
        replaced = file.open();
        if (c.afterTheCheck)
            plantNow();
        if (c.fileSizeLimit != 0)
            ::setrlimit(RLIMIT_FSIZE, &limited);
        replaced = replaced && file.write(document);
        ::setrlimit(RLIMIT_FSIZE, &unlimited);
        replaced = replaced && file.commit();
    }

    EXPECT_EQ(replaced, c.replaced);
    EXPECT_EQ(describe(path), c.replaced ? regularFile(newFileMode(), document) : planted);
    EXPECT_EQ(describe(someoneElses), regularFile(0600, "theirs\n"));
    if (fifoReader != -1) {
        char byte = 0;
        EXPECT_EQ(::read(fifoReader, &byte, 1), 0);
        ::close(fifoReader);
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList({"options.json", "someone-elses"}));
}

// The limit of 16 bytes makes the first write come up short and the next one fail.
INSTANTIATE_TEST_SUITE_P(
    SavedOptions, FileReplacementAtPath,
    ::testing::Values(ReplacementCase{"AbsentPathIsCreated", Planted::Nothing, false, 0, true},
                      ReplacementCase{"RegularFileIsReplacedWhole", Planted::File, false, 0, true},
                      ReplacementCase{"LinkIsRefused", Planted::LinkToFile, false, 0, false},
                      ReplacementCase{"FifoIsRefused", Planted::Fifo, false, 0, false},
                      ReplacementCase{"DirectoryIsRefused", Planted::Directory, false, 0, false},
                      ReplacementCase{"LinkPlantedAfterTheCheckIsReplaced", Planted::LinkToFile, true, 0, true},
                      ReplacementCase{"DirectoryPlantedAfterTheCheckStays", Planted::Directory, true, 0, false},
                      ReplacementCase{"FailedWriteKeepsTheOldDocument", Planted::File, false, 16, false}),
    Vantrel::Test::RowName());

TEST(FileReplacement, EmptyPathIsRefused)
{
    FileReplacement file(QString{});
    EXPECT_FALSE(file.open());
}

} // namespace
