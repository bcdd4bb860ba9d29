// The simulated room: a timeline of phases (a person standing, walking, or nobody) that repeats,
// and what the radar makes of it under the current settings.
#ifndef WEAVEGRAPH_STANDIN_SCENE_H
#define WEAVEGRAPH_STANDIN_SCENE_H

#include "platform/weavegraph/standin/settings.h"

#include <vector>

namespace Vantrel::Standin {

struct ScenePhase
{
    enum Kind { Present, Walk, Absent };
    Kind kind = Absent;
    double seconds = 0; // > 0
    double from = 0; // metres; a standing person stays at from
    double to = 0; // metres, where a walk ends
    double angle = 0; // degrees off boresight
};

struct SceneState
{
    bool present = false;
    double distance = 0; // metres
    double speed = 0; // metres per second, positive when moving away
    double angle = 0; // degrees
};

// What one radar frame sees.
struct Observation
{
    SceneState truth;
    bool detected = false;
    double echoDb = 0; // echo power of the person, 0 when nobody is there
    double noiseDb = 0;
    double confidence = 0; // 0 to 100
};

class Scene
{
public:
    // An empty phase list gives the default scene: stand, walk away, leave.
    explicit Scene(std::vector<ScenePhase> phases);

    SceneState at(double seconds) const;
    static std::vector<ScenePhase> defaultPhases();

private:
    std::vector<ScenePhase> m_phases;
    double m_period = 0;
};

constexpr double noiseFloorDb = 20.0;

// Echo power falls with the fourth power of distance: 60 dB at one metre.
double echoPowerDb(double distance);
Observation observe(const SceneState &state, const Settings &settings);

} // namespace Vantrel::Standin

#endif
