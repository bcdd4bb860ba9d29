#include "tests/e2e/cli/replaybundle.h"

#include "platform/weavegraph/framevocabulary.h"
#include "tests/support/bundlebuilder.h"

#include <QFile>

namespace Vantrel::Test {

bool buildReplayBundle(const QString &bundlePath, const QString &recordingPath)
{
    QFile parb(QStringLiteral(SAMPLE_BUNDLE_DIR "/parb/connection-simulation.parb"));
    if (!parb.open(QIODevice::ReadOnly))
        return false;
    const QByteArray definition = R"({
        "name": "Replay", "description": "Replays a recording", "algorithmVersion": "1.0.0",
        "minimumSupportedWeaveGraphVersion": "6.4.0", "maximumSupportedWeaveGraphVersion": "6.4.999",
        "sensors": [ { "name": "Recording", "description": "The recording", "flow": "replay.flow",
            "options": [ { "name": "connection",
                           "values": [ { "name": "Simulation", "parb": "connection-simulation.parb" } ] } ] } ]
    })";
    const QByteArray flow = "weaveflow 1\nreplay " + QByteArray::number(Frames::Output::HumanPresenceA) + " \""
                            + recordingPath.toUtf8() + "\"\n";
    return BundleBuilder()
        .addDefinition(QStringLiteral("replay"), definition)
        .add(QStringLiteral("replay/replay.flow"), flow)
        .add(QStringLiteral("replay/connection-simulation.parb"), parb.readAll())
        .build(bundlePath);
}

} // namespace Vantrel::Test
