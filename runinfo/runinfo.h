// The configuration of one run: the selected algorithm, sensor and parameter values, the
// presence timeout and the detection zone, checked against the catalogue, and the resource paths
// of the files the runtime loads. Everything is published through the meta-object system so that
// a front end can drive it by name.
#pragma once

#include "catalogue/options.h"

#include <QMap>
#include <QObject>
#include <QPointF>
#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

namespace Vantrel {

class AlgorithmLoader;

struct OptionValue
{
    bool visible = true; // false for the only value of a single-valued parameter
    int index = 0; // the parameter's position in its sensor; orders the parb files
    QString parb; // the value's parameter file in the algorithm's directory
    QString valueName;
};

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
    explicit RunInfo(const AlgorithmLoader &loader, QObject *parent = nullptr);

    // Resource paths for the runner; not published.
    QString flowFilePath() const;
    QStringList parbFilePaths() const;

    const AlgorithmInfo &algorithmInfo() const { return m_algorithmInfo; }
    const SensorInfo &sensorInfo() const { return m_sensorInfo; }
    const QMap<QString, OptionValue> &optionValues() const { return m_optionValues; }
    const QStringList &dynamicOptions() const { return m_dynamicOptions; }

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
    bool setAlgorithm(const QString &algorithmName);
    QString algorithm() const;
    bool setSensor(const QString &sensorName);
    QString sensor() const;
    void setTimeout(double timeout);
    double timeout() const;
    QString prefix() const;
    QVector<QPointF> detectionZonePoints() const;
    void setDetectionZonePoints(const QVector<QPointF> &detectionZonePoints);
    QVector<qreal> detectionZoneIndexes() const;
    void setDetectionZoneIndexes(const QVector<qreal> &detectionZoneIndexes);

private Q_SLOTS:
    void algorithmChangedSlot();
    void sensorChangedSlot();

public:
    Q_INVOKABLE void applyDefaultValues();
    Q_INVOKABLE void setOptionValue(const QString &option, const QString &valueName, const QString &parb, int index,
                                    bool visible = true);
    Q_INVOKABLE QString getOptionValue(const QString &optionName) const;
    Q_INVOKABLE QString getOptionDefaultValue(const QString &optionName) const;
    Q_INVOKABLE void clearOptions();
    Q_INVOKABLE void clearDynamicOptions();
    Q_INVOKABLE void addDynamicOption(const QString &dynamicOption);

private:
    // The selected sensor's definition in the catalogue; nothing when none is selected.
    std::optional<SensorOption> selectedSensorOption() const;
    // Gives each parameter without an entry the value `choose` picks for it, if any.
    void fillMissingValues(std::optional<SelectedValue> (ParameterOption::*choose)() const);

    const AlgorithmLoader &m_loader;
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
