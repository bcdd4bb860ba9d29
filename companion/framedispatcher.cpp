#include "framedispatcher.h"

#include "framedecoder.h"
#include "framelistener.h"
#include "framereader.h"

#include <QCoreApplication>
#include <QDebug>

#include <cstring>

namespace Vantrel {

FrameDispatcher::FrameDispatcher(const QStringList &kinds, uint32_t outputId)
    : m_outputId(outputId)
{
    for (const QString &kind : kinds)
        m_kinds.push_back(kind.toLatin1());
}

void FrameDispatcher::addListener(FrameListener *listener)
{
    m_listeners.push_back(listener);
}

void FrameDispatcher::frame(const uint8_t *bytes, size_t length, uint64_t offset)
{
    if (!FrameReader::verify(bytes, length)) {
        qWarning().noquote() << QCoreApplication::translate(
                                    "FrameDispatcher", "The frame at byte %1 (%2 bytes) is not a valid frame; skipped")
                                    .arg(offset)
                                    .arg(length);
        return;
    }
    const Frames::Frame &root = *FrameReader::root(bytes);
    const uint32_t outputId = m_outputId != 0 ? m_outputId : FrameDecoder::recognize(root);
    const char *kind = FrameDecoder::kind(outputId);
    if (!wanted(kind))
        return;
    for (FrameListener *listener : m_listeners)
        listener->beginFrame(kind ? outputId : 0, root, length);
    if (kind)
        FrameDecoder(*this).decodeVerified(outputId, root);
    for (FrameListener *listener : m_listeners)
        listener->endFrame();
}

void FrameDispatcher::flush()
{
    for (FrameListener *listener : m_listeners)
        listener->flush();
}

bool FrameDispatcher::wanted(const char *kind) const
{
    if (m_kinds.empty())
        return true;
    if (!kind)
        return false;
    for (const QByteArray &name : m_kinds) {
        if (std::strcmp(name.constData(), kind) == 0)
            return true;
    }
    return false;
}

void FrameDispatcher::hpdData(bool state, uint32_t distance, uint32_t confidence, int64_t timestamp,
                              uint32_t sequenceNumber)
{
    for (FrameListener *listener : m_listeners)
        listener->hpdData(state, distance, confidence, timestamp, sequenceNumber);
}

void FrameDispatcher::powerData(const QVector<quint32> &powerData, const QVector<quint32> &thresholdData,
                                const QVector<quint32> &ranges, uint effectiveRange, uint distance)
{
    for (FrameListener *listener : m_listeners)
        listener->powerData(powerData, thresholdData, ranges, effectiveRange, distance);
}

void FrameDispatcher::range(float start, float end, int count)
{
    for (FrameListener *listener : m_listeners)
        listener->range(start, end, count);
}

void FrameDispatcher::thresholdPoints(const QVector<QPointF> &points)
{
    for (FrameListener *listener : m_listeners)
        listener->thresholdPoints(points);
}

void FrameDispatcher::powerPoints(const QVector<QPointF> &points)
{
    for (FrameListener *listener : m_listeners)
        listener->powerPoints(points);
}

void FrameDispatcher::proximity2DData(uchar type, float range, float angle)
{
    for (FrameListener *listener : m_listeners)
        listener->proximity2DData(type, range, angle);
}

void FrameDispatcher::detectionStatistics(float first, float second)
{
    for (FrameListener *listener : m_listeners)
        listener->detectionStatistics(first, second);
}

void FrameDispatcher::heatmapBasicData(int32_t state, int32_t confidence, int32_t zoneIndex)
{
    for (FrameListener *listener : m_listeners)
        listener->heatmapBasicData(state, confidence, zoneIndex);
}

} // namespace Vantrel
