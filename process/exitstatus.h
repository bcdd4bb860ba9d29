#pragma once

namespace Vantrel {

// vantrel-cli's exit statuses, as its manual and README list them; scripts and systemd's
// RestartPreventExitStatus= rely on the numbers.
enum class ExitStatus : int {
    Success = 0, // normal end, stop-after time, first termination signal, help and version
    SyntaxError = 1, // unknown option or missing option value; a fatal message
    SecondSignal = 2, // a second termination signal: the program ends at once
    BadCommandLine = 3, // a bad command line or an incomplete selection
    NoBridge = 5, // no FT4222 bridge for a sensor connected through one
    RunnerFailed = 6, // the graph runtime failed or ended with a nonzero code
    ForeignThreadFinish = 7, // finish asked for from a thread other than the main thread
};

constexpr int code(ExitStatus status)
{
    return static_cast<int>(status);
}

} // namespace Vantrel
