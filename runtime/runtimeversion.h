#pragma once

#include <QString>
#include <QVersionNumber>

namespace Vantrel {

// Reads the first "number, any character, number, any character, number" in the text; 0.0.0 when there
// is none. A number above 65535 reads as 0.
QVersionNumber parseVersion(const QString &text);

} // namespace Vantrel
