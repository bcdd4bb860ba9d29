#pragma once

#include <QString>

#include <cstring>

namespace Vantrel {

// The C library's text for an errno value, as every message of either program quotes it.
inline QString systemErrorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace Vantrel
