#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace Vantrel {

// What vantrel-frames is asked to do, from its command line.
struct FramesOptions
{
    QString source; // a FIFO or recording; empty for standard input
    bool follow = false; // at the end of a FIFO, wait for its writer to come back
    double staleAfterSeconds = 5; // a followed stream without frames this long is stale; 0: never
    QString recordPath; // also append the raw frames to this file
    QStringList kinds; // only frames of these kinds; empty for all
    uint32_t outputId = 0; // decode every frame under this output id; 0: told from each frame
    bool json = true; // JSON lines on standard output

    QString mqttUrl; // mqtt[s]://[user[:password]@]host[:port]/prefix; empty: no MQTT
    QString optionsPath; // the main program's saved options file: the presence hold time
    int heartbeatSeconds = 30;
    bool discovery = false; // Home Assistant MQTT discovery
    QString discoveryPrefix = QStringLiteral("homeassistant");
    bool discoveryRemove = false; // only take this sensor's discovery configs and retained topics away
    int distanceStepCm = 10; // a distance change this large is published
    double distanceIntervalSeconds = 1; // at most one publication per topic this often; 0: no limit
    QString name; // this sensor's name in topics; the host name when not given
    QString stateDirectory; // keeps the hold time set from Home Assistant; empty: kept by nothing

    bool http = false; // serve the web view
    QString httpAddress = QStringLiteral("127.0.0.1");
    quint16 httpPort = 0;
    QStringList httpHosts; // host names the web view answers to, besides IP addresses and localhost
};

// The outcome of reading the command line: options to run with, or a status to end with after
// the text (help, version, or a message for standard error) has been printed.
struct FramesCommandLine
{
    std::optional<FramesOptions> options;
    int status = 0;
};

FramesCommandLine parseFramesCommandLine(const QStringList &arguments);

} // namespace Vantrel
