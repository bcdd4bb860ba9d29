#include "stream/savedoptions.h"

#include "process/systemerror.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Vantrel {

namespace {

// The file holds a handful of short members; anything larger is not one of ours.
constexpr qint64 MaxFileSize = 1 << 20;
// Hold times are timed in int milliseconds.
constexpr double MaxTimeout = 2147483.0;

} // namespace

QByteArray SavedRunOptions::toJson() const
{
    QJsonObject object;
    object.insert(QStringLiteral("algorithm"), algorithm);
    object.insert(QStringLiteral("timeout"), timeout);
    object.insert(QStringLiteral("graphCommitHash"), graphCommitHash);
    object.insert(QStringLiteral("graphBuildID"), graphBuildID);
    // A parameter named like one of the four takes its place, as it always has.
    for (auto it = parameters.cbegin(); it != parameters.cend(); ++it)
        object.insert(it.key(), it.value());
    return QJsonDocument(object).toJson();
}

std::optional<SavedRunOptions> SavedRunOptions::read(const QString &path, QString &error)
{
    // Neither waiting for a writer of a FIFO put at the path nor reading where a link points.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && errno != ELOOP) {
        error = systemErrorText(errno);
        return std::nullopt;
    }
    struct stat status = {};
    QFile file;
    if (fd < 0 || ::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)
        || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        if (fd >= 0)
            ::close(fd);
        error = QStringLiteral("not a regular file");
        return std::nullopt;
    }
    const QByteArray bytes = file.read(MaxFileSize + 1);
    if (bytes.size() > MaxFileSize) {
        error = QStringLiteral("larger than 1 MiB");
        return std::nullopt;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        error = parseError.errorString();
        return std::nullopt;
    }
    if (!document.isObject()) {
        error = QStringLiteral("not a JSON object");
        return std::nullopt;
    }
    const QJsonObject object = document.object();
    const QJsonValue timeout = object.value(QStringLiteral("timeout"));
    if (!timeout.isDouble() || !(timeout.toDouble() >= 0.0 && timeout.toDouble() <= MaxTimeout)) {
        error = QStringLiteral("no hold time (\"timeout\") from 0 to 2147483 seconds");
        return std::nullopt;
    }
    SavedRunOptions options;
    options.timeout = timeout.toDouble();
    for (auto member = object.begin(); member != object.end(); ++member) {
        const QString text = member.value().toString();
        if (member.key() == QLatin1String("algorithm"))
            options.algorithm = text;
        else if (member.key() == QLatin1String("graphCommitHash"))
            options.graphCommitHash = text;
        else if (member.key() == QLatin1String("graphBuildID"))
            options.graphBuildID = text;
        else if (member.key() != QLatin1String("timeout"))
            options.parameters.insert(member.key(), text);
    }
    return options;
}

} // namespace Vantrel
