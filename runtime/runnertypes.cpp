#include "runtime/runnertypes.h"

#include <QPointF>
#include <QVector>

#include <vector>

namespace Vantrel {

void registerRunnerMetaTypes()
{
    qRegisterMetaType<int16_t>("int16_t");
    qRegisterMetaType<int32_t>("int32_t");
    qRegisterMetaType<uint32_t>("uint32_t");
    qRegisterMetaType<int64_t>("int64_t");
    qRegisterMetaType<std::vector<uint8_t>>("std::vector<uint8_t>");
    qRegisterMetaType<QVector<QPointF>>("QVector<QPointF>");
    qRegisterMetaType<QVector<quint32>>("QVector<quint32>");
    qRegisterMetaType<QVector<float>>("QVector<float>");
    qRegisterMetaType<DetectionZone>("Vantrel::DetectionZone");
    qRegisterMetaType<R5::RangeDoppler::Enum>("R5RangeDopplerType");
    qRegisterMetaType<R5::Proximity2D::Enum>("R5Proximity2DType");
    qRegisterMetaType<R5::Proximity2D::Enum>("R5::Proximity2D::Enum");
    qRegisterMetaType<R5::Proximity2D::Enum>("Vantrel::R5::Proximity2D::Enum");
}

} // namespace Vantrel
