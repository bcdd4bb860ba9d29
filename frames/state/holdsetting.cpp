#include "frames/state/holdsetting.h"

#include "process/filereplacement.h"
#include "process/systemerror.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <cmath>
#include <utility>

namespace Vantrel {

namespace {

const QString HoldKey = QStringLiteral("hold");
// A few bytes of JSON; anything larger is not ours.
constexpr qint64 MaxFileSize = 4096;
// How much of a refused payload a warning quotes.
constexpr int QuotedBytes = 32;

bool inRange(double seconds)
{
    return std::isfinite(seconds) && seconds >= HoldSetting::Minimum && seconds <= HoldSetting::Maximum;
}

} // namespace

HoldSetting::HoldSetting(QString stateFile)
    : m_stateFile(std::move(stateFile))
{
}

std::optional<double> HoldSetting::parse(const QByteArray &payload, QString &error)
{
    bool ok = false;
    const double seconds = payload.trimmed().toDouble(&ok);
    if (ok && inRange(seconds))
        return seconds;
    QString quoted = QString::fromUtf8(payload.left(QuotedBytes)).simplified();
    if (payload.size() > QuotedBytes)
        quoted += QStringLiteral("…");
    error = QStringLiteral("\"%1\" is not a number of seconds from %2 to %3").arg(quoted).arg(Minimum).arg(Maximum);
    return std::nullopt;
}

std::optional<double> HoldSetting::load(QString &error) const
{
    if (m_stateFile.isEmpty() || !QFile::exists(m_stateFile))
        return std::nullopt;
    QFile file(m_stateFile);
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
        return std::nullopt;
    }
    const QJsonValue value = QJsonDocument::fromJson(file.read(MaxFileSize)).object().value(HoldKey);
    if (!value.isDouble() || !inRange(value.toDouble())) {
        error = QStringLiteral("no hold time from %1 to %2 s in it").arg(Minimum).arg(Maximum);
        return std::nullopt;
    }
    return value.toDouble();
}

bool HoldSetting::keep(double seconds, QString &error) const
{
    if (m_stateFile.isEmpty())
        return true;
    FileReplacement file(m_stateFile);
    errno = 0;
    if (file.open() && file.write(QJsonDocument(QJsonObject{{HoldKey, seconds}}).toJson(QJsonDocument::Compact) + '\n')
        && file.commit())
        return true;
    // Without an errno, something other than a regular file is at the path and was left alone.
    error = errno ? systemErrorText(errno) : QStringLiteral("not a regular file");
    return false;
}

} // namespace Vantrel
