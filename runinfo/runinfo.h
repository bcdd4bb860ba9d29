#pragma once

#include "options.h"

#include <QMap>
#include <QObject>
#include <QPointF>
#include <QStringList>
#include <QVector>

#include <optional>

namespace Vantrel {

class AlgorithmLoader;

// The selected value of one parameter.
struct OptionValue
{
    bool visible = true;
    int index = 0;
    ParameterValueInfo valueInfo; // only its parb is filled
    QString valueName;
};

// Everything one run of the graph is configured with: the selected algorithm, sensor and
// parameter values, checked against the catalogue, plus the presence hold time.
class RunInfo : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isValid READ isValid NOTIFY isValidChanged)
    Q_PROPERTY(QString algorithm READ algorithm WRITE setAlgorithm NOTIFY algorithmChanged)
    Q_PROPERTY(QString sensor READ sensor WRITE setSensor NOTIFY sensorChanged)
    Q_PROPERTY(QString output READ output NOTIFY outputChanged)
    Q_PROPERTY(double outputFrequency READ outputFrequency NOTIFY outputFrequencyChanged)
    Q_PROPERTY(double timeoutStart READ timeoutStart NOTIFY timeoutStartChanged)
    Q_PROPERTY(double timeoutEnd READ timeoutEnd NOTIFY timeoutEndChanged)
    Q_PROPERTY(double timeoutDefaultValue READ timeoutDefaultValue NOTIFY timeoutDefaultValueChanged)
    Q_PROPERTY(double timeoutIncriment READ timeoutIncriment NOTIFY timeoutIncrimentChanged)
    Q_PROPERTY(double timeout READ timeout WRITE setTimeout NOTIFY timeoutChanged)
    Q_PROPERTY(QString prefix READ prefix)
    Q_PROPERTY(QVector<QPointF> detectionZonePoints READ detectionZonePoints WRITE setDetectionZonePoints NOTIFY
                   detectionZonePointsChanged)
    Q_PROPERTY(QVector<qreal> detectionZoneIndexes READ detectionZoneIndexes WRITE setDetectionZoneIndexes NOTIFY
                   detectionZoneIndexesChanged)

public:
    explicit RunInfo(const AlgorithmLoader &catalogue, QObject *parent = nullptr);

    const AlgorithmInfo &algorithmInfo() const { return m_algorithmInfo; }
    const SensorInfo &sensorInfo() const { return m_sensorInfo; }
    const QMap<QString, OptionValue> &optionValues() const { return m_optionValues; }
    const QStringList &dynamicOptions() const { return m_dynamicOptions; }

    QString flowFilePath() const;
    QStringList parbFilePaths() const;

Q_SIGNALS:
    void isValidChanged();
    void algorithmChanged();
    void sensorChanged();
    void outputChanged();
    void timeoutStartChanged();
    void timeoutEndChanged();
    void timeoutDefaultValueChanged();
    void timeoutIncrimentChanged();
    void timeoutChanged(double timeout);
    void outputFrequencyChanged();
    void maxRangeChanged();
    void detectionZonePointsChanged();
    void detectionZoneIndexesChanged();

public Q_SLOTS:
    bool isValid() const;
    QString output() const;
    double outputFrequency() const;
    double timeoutStart() const;
    double timeoutEnd() const;
    double timeoutDefaultValue() const;
    double timeoutIncriment() const;
    bool setAlgorithm(QString algorithmName);
    QString algorithm() const;
    bool setSensor(QString sensorName);
    QString sensor() const;
    void setTimeout(double timeout);
    double timeout() const;
    QString prefix() const;
    QVector<QPointF> detectionZonePoints() const;
    void setDetectionZonePoints(QVector<QPointF> detectionZonePoints);
    QVector<qreal> detectionZoneIndexes() const;
    void setDetectionZoneIndexes(QVector<qreal> detectionZoneIndexes);

private Q_SLOTS:
    void algorithmChangedSlot();
    void sensorChangedSlot();

public:
    Q_INVOKABLE void applyDefaultValues();
    Q_INVOKABLE void setOptionValue(QString option, QString valueName, QString parb, int index, bool visible = true);
    Q_INVOKABLE QString getOptionValue(QString optionName) const;
    Q_INVOKABLE QString getOptionDefaultValue(QString optionName) const;
    Q_INVOKABLE void clearOptions();
    Q_INVOKABLE void clearDynamicOptions();
    Q_INVOKABLE void addDynamicOption(QString dynamicOption);

private:
    std::optional<SensorOption> selectedSensorOption() const;
    QString resourcePath(const QString &fileName) const;

    const AlgorithmLoader &m_catalogue;
    QString m_prefix;
    AlgorithmInfo m_algorithmInfo;
    SensorInfo m_sensorInfo;
    QMap<QString, OptionValue> m_optionValues;
    double m_timeout = 0;
    QStringList m_dynamicOptions;
    QVector<QPointF> m_detectionZonePoints;
    QVector<qreal> m_detectionZoneIndexes;
};

} // namespace Vantrel
