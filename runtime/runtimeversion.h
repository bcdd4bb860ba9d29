#pragma once

#include <QString>

#include <cstdint>

namespace Vantrel {

struct RuntimeVersion
{
    uint32_t major = 0;
    uint32_t minor = 0;
    uint32_t patch = 0;

    QString toString() const;
};

bool operator==(const RuntimeVersion &a, const RuntimeVersion &b);
bool operator!=(const RuntimeVersion &a, const RuntimeVersion &b);
bool operator<(const RuntimeVersion &a, const RuntimeVersion &b);

// Reads the first "number, any character, number, any character, number" in the text; 0.0.0 when there
// is none. A number above 65535 reads as 0.
RuntimeVersion parseVersion(const QString &text);

} // namespace Vantrel
