#pragma once

// Records a decoded frame's values in the runner's signal order, as readable text, so that a test can
// compare the whole output of a frame with one list.

#include "runtime/framesink.h"
#include "tests/support/qtprinters.h"

#include <QString>
#include <QStringList>

namespace Vantrel {
namespace Fixtures {

// Floats at full single precision, so that a wrong rounding step shows.
inline QString num(double value)
{
    return QString::number(value, 'g', 9);
}

inline QString points(const QVector<QPointF> &list)
{
    QStringList items;
    for (const QPointF &p : list)
        items << QStringLiteral("(%1,%2)").arg(num(p.x()), num(p.y()));
    return QLatin1Char('[') + items.join(QLatin1Char(';')) + QLatin1Char(']');
}

inline QString numbers(const QVector<quint32> &list)
{
    QStringList items;
    for (quint32 v : list)
        items << QString::number(v);
    return QLatin1Char('[') + items.join(QLatin1Char(',')) + QLatin1Char(']');
}

inline QString boolText(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

// A frame's values in the order the runner publishes them as signals, one readable entry each.
class EmissionLog final : public FrameSink
{
public:
    void hpdData(bool state, uint32_t distance, uint32_t confidence, int64_t timestamp, uint32_t seq) override
    {
        add(QStringLiteral("hpd %1 %2 %3 %4 %5")
                .arg(boolText(state))
                .arg(distance)
                .arg(confidence)
                .arg(timestamp)
                .arg(seq));
    }
    void powerData(const QVector<quint32> &power, const QVector<quint32> &threshold, const QVector<quint32> &ranges,
                   uint effectiveRange, uint distance) override
    {
        add(QStringLiteral("power %1 %2 %3 %4 %5")
                .arg(numbers(power), numbers(threshold), numbers(ranges))
                .arg(effectiveRange)
                .arg(distance));
    }
    void range(float start, float end, int count) override
    {
        add(QStringLiteral("range %1 %2 %3").arg(num(start), num(end)).arg(count));
    }
    void thresholdPoints(const QVector<QPointF> &list) override { add(QStringLiteral("threshold ") + points(list)); }
    void powerPoints(const QVector<QPointF> &list) override { add(QStringLiteral("powerPoints ") + points(list)); }
    void proximity2DData(uchar type, float range, float angle) override
    {
        add(QStringLiteral("proximity %1 %2 %3").arg(type).arg(num(range), num(angle)));
    }
    void detectionStatistics(float first, float second) override
    {
        add(QStringLiteral("statistics %1 %2").arg(num(first), num(second)));
    }
    void heatmapBasicData(int32_t state, int32_t confidence, int32_t zone) override
    {
        add(QStringLiteral("heatmap %1 %2 %3").arg(state).arg(confidence).arg(zone));
    }

    QStringList entries;

private:
    void add(const QString &entry) { entries << entry; }
};

} // namespace Fixtures
} // namespace Vantrel
