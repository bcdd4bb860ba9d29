// The catalogue of algorithms: registers bundles into the resource tree, finds the algorithm
// directories there and keeps every accepted definition under its catalogue name.
#pragma once

#include "catalogue/options.h"

#include <QFileInfo>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

namespace Vantrel {

class AlgorithmLoader : public QObject
{
    Q_OBJECT

public:
    static QString defaultAlgorithmDirectory();

    AlgorithmLoader() = default;

    void loadFromDirectory(const QString &path);
    void loadFromFile(const QString &path);
    // True when the file is registered now; `announce` makes that emit resourceRegistered().
    bool registerBundle(const QFileInfo &fileInfo, bool announce);
    QStringList algorithmDirectories() const;
    void loadRegisteredAlgorithms();
    bool loadAlgorithm(const QString &directoryName);

    std::optional<AlgorithmOption> findAlgorithm(const QString &name) const;
    const QMap<QString, AlgorithmOption> &algorithms() const { return m_algorithms; }
    const QStringList &registeredBundles() const { return m_registeredBundles; }
    const QStringList &loadedDirectories() const { return m_loadedDirectories; }

    QStringList algorithmNames() const;
    QString supportedAlgorithmsHelp() const;

Q_SIGNALS:
    void algorithmsOptionsChanged();
    void resourceRegistered();

private:
    QMap<QString, AlgorithmOption> m_algorithms;
    QStringList m_registeredBundles;
    QStringList m_loadedDirectories;
};

} // namespace Vantrel
