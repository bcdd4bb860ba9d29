#include "platform/weavegraph/standin/scene.h"

#include <algorithm>
#include <cmath>

namespace Vantrel::Standin {

Scene::Scene(std::vector<ScenePhase> phases)
    : m_phases(phases.empty() ? defaultPhases() : std::move(phases))
{
    for (const ScenePhase &phase : m_phases)
        m_period += phase.seconds;
}

std::vector<ScenePhase> Scene::defaultPhases()
{
    return {
        {ScenePhase::Present, 3.0, 1.2, 1.2, 0.0},
        {ScenePhase::Walk, 3.0, 1.2, 2.4, 15.0},
        {ScenePhase::Absent, 3.0, 0.0, 0.0, 0.0},
    };
}

SceneState Scene::at(double seconds) const
{
    double t = std::fmod(std::max(seconds, 0.0), m_period);
    for (const ScenePhase &phase : m_phases) {
        if (t >= phase.seconds) {
            t -= phase.seconds;
            continue;
        }
        SceneState state;
        state.angle = phase.angle;
        switch (phase.kind) {
        case ScenePhase::Present:
            state.present = true;
            state.distance = phase.from;
            break;
        case ScenePhase::Walk:
            state.present = true;
            state.speed = (phase.to - phase.from) / phase.seconds;
            state.distance = phase.from + state.speed * t;
            break;
        case ScenePhase::Absent:
            state.angle = 0;
            break;
        }
        return state;
    }
    return {}; // only reached through rounding at the very end of the period
}

double echoPowerDb(double distance)
{
    return 60.0 - 40.0 * std::log10(std::max(distance, 0.1));
}

Observation observe(const SceneState &state, const Settings &settings)
{
    Observation seen;
    seen.truth = state;
    seen.noiseDb = noiseFloorDb;
    if (!state.present)
        return seen;
    seen.echoDb = echoPowerDb(state.distance);
    seen.detected = state.distance <= settings.maxRange && seen.echoDb >= settings.thresholdDb;
    if (seen.detected)
        seen.confidence = std::clamp(50.0 + 5.0 * (seen.echoDb - settings.thresholdDb), 0.0, 100.0);
    return seen;
}

} // namespace Vantrel::Standin
