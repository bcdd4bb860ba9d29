// The hold time as Home Assistant sets it: which commands are taken, and the value kept across runs.
#include "frames/state/holdsetting.h"
#include "tests/support/tablerows.h"
#include "tests/support/testfiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>
#include <sys/stat.h>

namespace Vantrel::Test {
namespace {

using Vantrel::Test::operator<<;

struct CommandRow
{
    const char *name;
    QByteArray payload;
    std::optional<double> seconds; // nothing: refused
};

class HoldCommands : public ::testing::TestWithParam<CommandRow>
{};

TEST_P(HoldCommands, AreTakenOnlyAsSecondsInRange)
{
    QString error;
    EXPECT_EQ(HoldSetting::parse(GetParam().payload, error), GetParam().seconds);
    EXPECT_EQ(error.isEmpty(), GetParam().seconds.has_value()) << error.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Payloads, HoldCommands,
    ::testing::Values(CommandRow{"Fraction", "12.5", 12.5}, CommandRow{"AsHomeAssistantSendsIt", "30.0", 30.0},
                      CommandRow{"Blanks", " 7\n", 7.0}, CommandRow{"Zero", "0", 0.0},
                      CommandRow{"Largest", "3600", 3600.0}, CommandRow{"Exponent", "1e3", 1000.0},
                      CommandRow{"AboveRange", "3600.5", std::nullopt}, CommandRow{"Negative", "-1", std::nullopt},
                      CommandRow{"Word", "long", std::nullopt}, CommandRow{"Empty", "", std::nullopt},
                      CommandRow{"NotANumber", "nan", std::nullopt}, CommandRow{"Infinite", "inf", std::nullopt},
                      CommandRow{"Json", "{\"hold\":5}", std::nullopt},
                      CommandRow{"Shortest", "0.1", 0.1}, CommandRow{"ShorterThanAnyoneMeans", "0.05", std::nullopt},
                      CommandRow{"Subnormal", "1e-320", std::nullopt}),
    RowName());

TEST(HoldSetting, RefusalQuotesTheStartOfThePayloadOnlyWithControlCharactersEscaped)
{
    QString error;
    EXPECT_FALSE(HoldSetting::parse(QByteArray(5000, 'x'), error));
    EXPECT_LT(error.size(), 100);
    EXPECT_TRUE(error.contains(QStringLiteral("from 0.1 to 3600"))) << error.toStdString();
    EXPECT_FALSE(HoldSetting::parse(QByteArray("1\0002\n\x1b", 5), error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("\"1\\x002\\x0a\\x1b\" is not"))) << error.toStdString();
}

TEST(HoldSetting, KeptValueIsLoadedByTheNextRun)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("kitchen.hold.json"));
    QString error;
    EXPECT_EQ(HoldSetting(path).load(error), std::nullopt);
    EXPECT_TRUE(error.isEmpty());

    ASSERT_TRUE(HoldSetting(path).keep(42.5, error)) << error.toStdString();
    ASSERT_TRUE(HoldSetting(path).keep(90, error)) << error.toStdString();
    EXPECT_EQ(HoldSetting(path).load(error), 90.0);
    // Nothing but the file is left beside it.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("kitchen.hold.json")});
}

struct BadStateRow
{
    const char *name;
    QByteArray content;
};

class BadStateFiles : public ::testing::TestWithParam<BadStateRow>
{};

TEST_P(BadStateFiles, AreToldAndGiveNoValue)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("hold.json"));
    ASSERT_TRUE(writeFile(path, GetParam().content));
    QString error;
    EXPECT_EQ(HoldSetting(path).load(error), std::nullopt);
    EXPECT_FALSE(error.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Contents, BadStateFiles,
                         ::testing::Values(BadStateRow{"Empty", ""}, BadStateRow{"NotJson", "hold=5"},
                                           BadStateRow{"Text", "{\"hold\":\"5\"}"},
                                           BadStateRow{"OutOfRange", "{\"hold\":99999}"},
                                           BadStateRow{"Negative", "{\"hold\":-3}"}),
                         RowName());

TEST(HoldSetting, FifoAtThePathIsLeftAloneAndToldOf)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("hold.json"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    QString error;
    EXPECT_FALSE(HoldSetting(path).keep(5, error));
    EXPECT_EQ(error, QStringLiteral("not a regular file"));
}

TEST(HoldSetting, WithoutAFileNothingIsKept)
{
    QString error;
    EXPECT_TRUE(HoldSetting(QString()).keep(5, error));
    EXPECT_EQ(HoldSetting(QString()).load(error), std::nullopt);
    EXPECT_TRUE(error.isEmpty());
}

} // namespace
} // namespace Vantrel::Test
