#include "runtimeversion.h"

#include <QRegularExpression>

#include <tuple>

namespace Vantrel {

QString RuntimeVersion::toString() const
{
    return QStringLiteral("%1.%2.%3").arg(major).arg(minor).arg(patch);
}

bool operator==(const RuntimeVersion &a, const RuntimeVersion &b)
{
    return std::tie(a.major, a.minor, a.patch) == std::tie(b.major, b.minor, b.patch);
}

bool operator!=(const RuntimeVersion &a, const RuntimeVersion &b)
{
    return !(a == b);
}

bool operator<(const RuntimeVersion &a, const RuntimeVersion &b)
{
    return std::tie(a.major, a.minor, a.patch) < std::tie(b.major, b.minor, b.patch);
}

RuntimeVersion parseVersion(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("(\\d+).(\\d+).(\\d+)"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return {};
    // toUShort gives 0 for a number that does not fit.
    return {match.captured(1).toUShort(), match.captured(2).toUShort(), match.captured(3).toUShort()};
}

} // namespace Vantrel
