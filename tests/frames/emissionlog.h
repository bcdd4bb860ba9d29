#pragma once

// Records every signal of a runner, in emission order, as readable text, so that a test can compare
// the whole output of a frame with one list.

#include "qtprinters.h"
#include "weavegraphrunner.h"

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

class EmissionLog
{
public:
    explicit EmissionLog(WeaveGraphRunner &runner)
    {
        QObject::connect(&runner, &WeaveGraphRunner::newHpdData,
                         [this](bool state, uint32_t distance, uint32_t confidence, int64_t timestamp, uint32_t seq) {
                             add(QStringLiteral("hpd %1 %2 %3 %4 %5")
                                     .arg(boolText(state))
                                     .arg(distance)
                                     .arg(confidence)
                                     .arg(timestamp)
                                     .arg(seq));
                         });
        QObject::connect(&runner, &WeaveGraphRunner::newRawData, [this](uint32_t id, std::vector<uint8_t> data) {
            add(QStringLiteral("raw %1 %2").arg(id, 8, 16, QLatin1Char('0')).arg(data.size()));
        });
        QObject::connect(&runner, &WeaveGraphRunner::newPowerData,
                         [this](QVector<quint32> power, QVector<quint32> threshold, QVector<quint32> ranges,
                                uint effectiveRange, uint distance) {
                             add(QStringLiteral("power %1 %2 %3 %4 %5")
                                     .arg(numbers(power), numbers(threshold), numbers(ranges))
                                     .arg(effectiveRange)
                                     .arg(distance));
                         });
        QObject::connect(&runner, &WeaveGraphRunner::newRange, [this](float start, float end, int count) {
            add(QStringLiteral("range %1 %2 %3").arg(num(start), num(end)).arg(count));
        });
        QObject::connect(&runner, &WeaveGraphRunner::newThresholdPoints,
                         [this](QVector<QPointF> list) { add(QStringLiteral("threshold ") + points(list)); });
        QObject::connect(&runner, &WeaveGraphRunner::newPowerPoints,
                         [this](QVector<QPointF> list) { add(QStringLiteral("powerPoints ") + points(list)); });
        QObject::connect(&runner, &WeaveGraphRunner::newRangeDopplerData,
                         [this](QVector<float>) { add(QStringLiteral("rangeDoppler")); });
        QObject::connect(&runner, &WeaveGraphRunner::newProximity2DData, [this](uchar type, float range, float angle) {
            add(QStringLiteral("proximity %1 %2 %3").arg(type).arg(num(range), num(angle)));
        });
        QObject::connect(&runner, &WeaveGraphRunner::newDetectionStatistics, [this](float first, float second) {
            add(QStringLiteral("statistics %1 %2").arg(num(first), num(second)));
        });
        QObject::connect(&runner, &WeaveGraphRunner::newHeatmapBasicData,
                         [this](int32_t state, int32_t confidence, int32_t zone) {
                             add(QStringLiteral("heatmap %1 %2 %3").arg(state).arg(confidence).arg(zone));
                         });
    }

    QStringList entries;

private:
    void add(const QString &entry) { entries << entry; }
};

} // namespace Fixtures
} // namespace Vantrel
