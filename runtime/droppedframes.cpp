#include "droppedframes.h"

#include <QDebug>

namespace Vantrel {

void DroppedFrames::drop()
{
    if (m_count++ == 0)
        qWarning().noquote() << tr("Output is falling behind; dropping frames");
}

void DroppedFrames::report()
{
    if (m_count == 0)
        return;
    qWarning().noquote() << tr("Dropped %1 frames while the output was behind").arg(m_count);
    m_count = 0;
}

} // namespace Vantrel
