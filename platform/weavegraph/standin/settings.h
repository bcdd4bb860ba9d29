// What the flow and the parameter sets tune in the simulation.
#ifndef WEAVEGRAPH_STANDIN_SETTINGS_H
#define WEAVEGRAPH_STANDIN_SETTINGS_H

namespace Vantrel::Standin {

enum class Source { Simulation = 0, Module = 1 };

struct Settings
{
    double frameRate = 10.0; // frames per second; 0 runs as fast as possible
    double thresholdDb = 40.0; // echo power a person must exceed to be detected
    double maxRange = 5.0; // metres; nobody is detected beyond it
    Source source = Source::Simulation;
};

} // namespace Vantrel::Standin

#endif
