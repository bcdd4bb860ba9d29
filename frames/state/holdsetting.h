#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace Vantrel {

// The presence hold time as Home Assistant sets it: a command checked against the range the
// number entity offers, and the accepted value kept in a small state file so that it outlives a
// restart of the service.
class HoldSetting
{
public:
    static constexpr double Minimum = 0; // no hold: occupancy is presence
    // The shortest hold besides none: anything shorter is no hold anyone means.
    static constexpr double Shortest = 0.1;
    static constexpr double Maximum = 3600;

    // An empty path keeps nothing.
    explicit HoldSetting(QString stateFile);

    // A command's payload as seconds; nothing, and why, when it is refused.
    static std::optional<double> parse(const QByteArray &payload, QString &error);

    // The value an earlier run kept; nothing when none was kept, or, with the reason, when the file
    // cannot be read.
    std::optional<double> load(QString &error) const;
    // Keeps the value, replacing the file whole; false with the reason.
    bool keep(double seconds, QString &error) const;

    const QString &stateFile() const { return m_stateFile; }

private:
    QString m_stateFile;
};

} // namespace Vantrel
