#include "frames/state/holdpolicy.h"

#include "frames/state/sensorstate.h"
#include "stream/savedoptions.h"

#include <QDebug>

#include <utility>

namespace Vantrel {

HoldPolicy::HoldPolicy(SensorState &state, HoldSetting kept)
    : m_state(state)
    , m_kept(std::move(kept))
{
}

void HoldPolicy::start(bool optionsFile)
{
    QString error;
    if (const std::optional<double> kept = m_kept.load(error)) {
        m_state.setHold(*kept, SensorState::HoldSource::HomeAssistant);
        return;
    }
    if (!error.isEmpty())
        qWarning().noquote() << tr("Can't read the hold time kept in %1: %2").arg(m_kept.stateFile(), error);
    // With an options file, the hold is told once the file is read, and not a 0 before it.
    if (!optionsFile)
        m_state.setHold(m_state.holdSeconds(), SensorState::HoldSource::Default);
}

void HoldPolicy::readSavedOptions(const QString &path)
{
    QString error;
    const std::optional<SavedRunOptions> saved = SavedRunOptions::read(path, error);
    if (!saved) {
        qWarning().noquote() << tr("Can't read the saved options %1: %2").arg(path, error);
        // Home Assistant can still set the hold.
        if (m_state.holdSource() == SensorState::HoldSource::None)
            m_state.setHold(m_state.holdSeconds(), SensorState::HoldSource::Default);
        return;
    }
    if (m_state.holdSource() != SensorState::HoldSource::HomeAssistant)
        m_state.setHold(saved->timeout, SensorState::HoldSource::SavedOptions);
    m_state.setRunOptions(*saved);
}

bool HoldPolicy::request(const QByteArray &payload)
{
    QString error;
    const std::optional<double> seconds = HoldSetting::parse(payload, error);
    if (!seconds) {
        qWarning().noquote() << tr("MQTT: refused the hold time: %1").arg(error);
        return false;
    }
    const double before = m_state.holdSeconds();
    const SensorState::HoldSource source = m_state.holdSource();
    m_state.setHold(*seconds, SensorState::HoldSource::HomeAssistant);
    if (!m_kept.keep(*seconds, error))
        qWarning().noquote() << tr("Can't keep the hold time in %1: %2").arg(m_kept.stateFile(), error);
    return *seconds != before || source != SensorState::HoldSource::HomeAssistant;
}

} // namespace Vantrel
