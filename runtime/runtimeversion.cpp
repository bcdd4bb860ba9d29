#include "runtime/runtimeversion.h"

#include <QRegularExpression>

namespace Vantrel {

QVersionNumber parseVersion(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("(\\d+).(\\d+).(\\d+)"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return QVersionNumber(0, 0, 0);
    // toUShort gives 0 for a number that does not fit.
    return QVersionNumber(match.captured(1).toUShort(), match.captured(2).toUShort(), match.captured(3).toUShort());
}

} // namespace Vantrel
