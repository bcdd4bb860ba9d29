#pragma once

#include <QString>

namespace Vantrel::Test {

// Builds a bundle whose one algorithm, "Replay 1.0" with sensor "Recording", has the stand-in runtime
// replay the recording at recordingPath as human-presence frames, with its recorded timing.
bool buildReplayBundle(const QString &bundlePath, const QString &recordingPath);

} // namespace Vantrel::Test
