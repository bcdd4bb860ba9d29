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
    return seconds == HoldSetting::Minimum || (seconds >= HoldSetting::Shortest && seconds <= HoldSetting::Maximum);
}

// The start of a payload as a warning can show it: control characters (a NUL would cut the line)
// written as escapes.
QString quoted(const QByteArray &payload)
{
    QString text;
    // With its length: decoded as a QByteArray, the text would end at a NUL.
    const QByteArray start = payload.left(QuotedBytes);
    for (const QChar c : QString::fromUtf8(start.constData(), start.size())) {
        if (c.category() == QChar::Other_Control)
            text += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            text += c;
    }
    if (payload.size() > QuotedBytes)
        text += QStringLiteral("…");
    return text;
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
    error = QStringLiteral("\"%1\" is not 0 or a number of seconds from %2 to %3")
                .arg(quoted(payload))
                .arg(Shortest)
                .arg(Maximum);
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
        error = QStringLiteral("no hold time (0, or from %1 to %2 s) in it").arg(Shortest).arg(Maximum);
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
