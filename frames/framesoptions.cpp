#include "frames/framesoptions.h"

#include "decoding/framedecoder.h"
#include "frames/mqtt/mqtturl.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <cmath>
#include <cstdio>
#include <type_traits>

namespace Vantrel {

namespace {

constexpr int UsageStatus = 2;
// Home Assistant's own is 13 bytes; a long one makes every config topic long too.
constexpr int MaxDiscoveryPrefixBytes = 256;

const QString Description = QStringLiteral(
    "Reads the raw frame stream of vantrel-cli (its FIFO, a recording of it, or standard input) and writes "
    "one JSON object per frame on standard output; with --mqtt, publishes the presence state to an MQTT "
    "broker.\n\nA stream carries no output ids: each frame's kind is told from the arrays it holds (a "
    "proximity stream reads as proximity-fast, a presence array of five values as presence-profile), "
    "unless --id names the output.\n\nKinds: %1.\n\nExit status: 0 at the end of the stream or on "
    "SIGINT/SIGTERM, 1 when the stream is cut or unreadable, 2 for a bad command line.");

FramesCommandLine fail(const QString &message)
{
    QTextStream(stderr) << "vantrel-frames: " << message << '\n';
    return {std::nullopt, UsageStatus};
}

// Reads a numeric option into value; the error, naming the option, its bounds and what was given, is
// empty when the value is a number from low to high.
template <typename T>
QString readNumber(const QCommandLineParser &parser, const QCommandLineOption &option, T low, T high, const char *unit,
                   T &value)
{
    const QString given = parser.value(option);
    bool ok = false;
    if constexpr (std::is_integral_v<T>)
        value = given.toInt(&ok);
    else
        value = given.toDouble(&ok);
    if (ok && std::isfinite(static_cast<double>(value)) && value >= low && value <= high)
        return QString();
    return QStringLiteral("--%1 needs %2 to %3 %4, not \"%5\"")
        .arg(option.names().constLast(), QString::number(low), QString::number(high), QLatin1String(unit), given);
}

// [address:]port, the address of IPv6 in brackets.
bool parseHttpAddress(const QString &text, FramesOptions &options)
{
    QString port = text;
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon >= 0) {
        QString address = text.left(colon);
        if (address.startsWith(QLatin1Char('[')) && address.endsWith(QLatin1Char(']')))
            address = address.mid(1, address.size() - 2);
        if (address.isEmpty())
            return false;
        options.httpAddress = address;
        port = text.mid(colon + 1);
    }
    bool ok = false;
    const uint number = port.toUInt(&ok);
    if (!ok || number < 1 || number > 65535)
        return false;
    options.http = true;
    options.httpPort = static_cast<quint16>(number);
    return true;
}

} // namespace

FramesCommandLine parseFramesCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(Description.arg(FrameDecoder::kinds().join(QStringLiteral(", "))));
    parser.addPositionalArgument(QStringLiteral("source"),
                                 QStringLiteral("The FIFO or recording to read; standard input when left out."),
                                 QStringLiteral("[source]"));
    const QCommandLineOption follow({QStringLiteral("f"), QStringLiteral("follow")},
                                    QStringLiteral("At the end of a FIFO, wait for its writer to come back, also "
                                                   "when the FIFO is made anew; wait for it to appear."));
    const QCommandLineOption staleAfter(
        QStringLiteral("stale-after"),
        QStringLiteral("With --follow: after <seconds> without a frame the stream is stale, and MQTT "
                       "says \"offline\" until the next frame (default 5; 0: never)."),
        QStringLiteral("seconds"), QStringLiteral("5"));
    const QCommandLineOption record(QStringLiteral("record"),
                                    QStringLiteral("Also append the whole frames read to <file>."),
                                    QStringLiteral("file"));
    const QCommandLineOption kind({QStringLiteral("k"), QStringLiteral("kind")},
                                  QStringLiteral("Only frames of this kind (repeatable)."), QStringLiteral("kind"));
    const QCommandLineOption id(QStringLiteral("id"),
                                QStringLiteral("Decode every frame as the runtime's output <hex> (an output id)."),
                                QStringLiteral("hex"));
    const QCommandLineOption noJson(QStringLiteral("no-json"), QStringLiteral("No JSON lines on standard output."));
    const QCommandLineOption mqtt(QStringLiteral("mqtt"),
                                  QStringLiteral("Publish presence to mqtt[s]://[user[:password]@]host[:port]/prefix."),
                                  QStringLiteral("url"));
    const QCommandLineOption mqttEnv(QStringLiteral("mqtt-env"),
                                     QStringLiteral("Publish to the URL held by environment variable <variable>, "
                                                    "which keeps a password out of the process list."),
                                     QStringLiteral("variable"));
    const QCommandLineOption options(QStringLiteral("options"),
                                     QStringLiteral("vantrel-cli's saved options file, for the presence hold time "
                                                    "(re-read whenever the stream starts anew)."),
                                     QStringLiteral("file"));
    const QCommandLineOption heartbeat(QStringLiteral("heartbeat"),
                                       QStringLiteral("Publish the state at least every <seconds> (default 30)."),
                                       QStringLiteral("seconds"), QStringLiteral("30"));
    const QCommandLineOption discovery(QStringLiteral("discovery"),
                                       QStringLiteral("Announce the sensor to Home Assistant (MQTT discovery)."));
    const QCommandLineOption discoveryPrefix(
        QStringLiteral("discovery-prefix"),
        QStringLiteral("Home Assistant's discovery prefix (default homeassistant)."), QStringLiteral("prefix"),
        QStringLiteral("homeassistant"));
    const QCommandLineOption discoveryRemove(
        QStringLiteral("discovery-remove"),
        QStringLiteral("Take this sensor's discovery configs and retained topics off the broker, then end; "
                       "no stream is read."));
    const QCommandLineOption distanceStep(
        QStringLiteral("distance-step"), QStringLiteral("Publish the distance when it has moved by <cm> (default 10)."),
        QStringLiteral("cm"), QStringLiteral("10"));
    const QCommandLineOption distanceInterval(
        QStringLiteral("distance-interval"),
        QStringLiteral("Publish a changing value at most every <seconds>, the latest when they end (default 1; "
                       "0: no limit)."),
        QStringLiteral("seconds"), QStringLiteral("1"));
    const QCommandLineOption name(QStringLiteral("name"),
                                  QStringLiteral("This sensor's name in topics (default: the host name)."),
                                  QStringLiteral("name"));
    const QCommandLineOption stateDir(QStringLiteral("state-dir"),
                                      QStringLiteral("Keep the hold time set from Home Assistant in <directory>, "
                                                     "for the next run (default: $STATE_DIRECTORY, as systemd "
                                                     "sets it)."),
                                      QStringLiteral("directory"));
    const QCommandLineOption http(QStringLiteral("http"),
                                  QStringLiteral("Serve a live web view of the sensor on <[address:]port> "
                                                 "(address 127.0.0.1 when left out; [::1]:port for IPv6)."),
                                  QStringLiteral("[address:]port"));
    const QCommandLineOption httpHost(QStringLiteral("http-host"),
                                      QStringLiteral("A host name the web view answers to, besides IP addresses "
                                                     "and localhost (repeatable)."),
                                      QStringLiteral("name"));
    parser.addOptions({follow, staleAfter, record, kind, id, noJson, mqtt, mqttEnv, options, heartbeat, discovery,
                       discoveryPrefix, discoveryRemove, distanceStep, distanceInterval, name, stateDir, http,
                       httpHost});
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();

    if (!parser.parse(arguments))
        return fail(parser.errorText());
    if (parser.isSet(help)) {
        QTextStream(stdout) << parser.helpText();
        return {std::nullopt, 0};
    }
    if (parser.isSet(version)) {
        QTextStream(stdout) << "vantrel-frames " << QCoreApplication::applicationVersion() << '\n';
        return {std::nullopt, 0};
    }

    FramesOptions result;
    const QStringList sources = parser.positionalArguments();
    if (sources.size() > 1)
        return fail(QStringLiteral("one source at most, not %1").arg(sources.size()));
    result.source = sources.value(0);
    if (result.source == QLatin1String("-"))
        result.source.clear();
    result.follow = parser.isSet(follow);
    if (result.follow && result.source.isEmpty())
        return fail(QStringLiteral("--follow needs a FIFO to read"));
    if (const QString error = readNumber(parser, staleAfter, 0.0, 86400.0, "seconds", result.staleAfterSeconds);
        !error.isEmpty())
        return fail(error);
    if (parser.isSet(staleAfter) && !result.follow)
        return fail(QStringLiteral("--stale-after needs --follow"));
    result.recordPath = parser.value(record);
    result.kinds = parser.values(kind);
    for (const QString &k : qAsConst(result.kinds)) {
        if (!FrameDecoder::kinds().contains(k))
            return fail(QStringLiteral("unknown kind \"%1\"; one of %2")
                            .arg(k, FrameDecoder::kinds().join(QStringLiteral(", "))));
    }
    if (parser.isSet(id)) {
        bool ok = false;
        result.outputId = parser.value(id).toUInt(&ok, 16);
        if (!ok || result.outputId == 0)
            return fail(QStringLiteral("--id needs an output id in hex, not \"%1\"").arg(parser.value(id)));
    }
    result.json = !parser.isSet(noJson);
    if (parser.isSet(mqtt) && parser.isSet(mqttEnv))
        return fail(QStringLiteral("--mqtt and --mqtt-env exclude each other"));
    if (parser.isSet(mqttEnv)) {
        result.mqttUrl = qEnvironmentVariable(parser.value(mqttEnv).toLocal8Bit().constData());
        if (result.mqttUrl.isEmpty())
            return fail(QStringLiteral("--mqtt-env: environment variable %1 holds no URL").arg(parser.value(mqttEnv)));
    } else {
        result.mqttUrl = parser.value(mqtt);
    }
    if (parser.isSet(mqtt) || parser.isSet(mqttEnv)) {
        QString error;
        if (!MqttUrl::parse(result.mqttUrl, error))
            return fail(QStringLiteral("--mqtt: %1").arg(error));
    }
    result.optionsPath = parser.value(options);
    if (const QString error = readNumber(parser, heartbeat, 1, 86400, "seconds", result.heartbeatSeconds);
        !error.isEmpty())
        return fail(error);
    result.discovery = parser.isSet(discovery);
    result.discoveryPrefix = parser.value(discoveryPrefix);
    // Topics beginning with '$' are the broker's own, and a broker takes no topic past 65,535 bytes:
    // Home Assistant would hear of nothing, and nothing would say so.
    if (result.discoveryPrefix.isEmpty() || result.discoveryPrefix.contains(QLatin1Char('+'))
        || result.discoveryPrefix.contains(QLatin1Char('#')) || result.discoveryPrefix.startsWith(QLatin1Char('$'))
        || result.discoveryPrefix.toUtf8().size() > MaxDiscoveryPrefixBytes
        || result.discoveryPrefix.split(QLatin1Char('/')).contains(QString()))
        return fail(QStringLiteral("--discovery-prefix needs at most %1 bytes of topic levels without + or #, none "
                                   "empty and the first not beginning with $, not \"%2\"")
                        .arg(MaxDiscoveryPrefixBytes)
                        .arg(result.discoveryPrefix.left(MaxDiscoveryPrefixBytes)));
    result.discoveryRemove = parser.isSet(discoveryRemove);
    if (result.discoveryRemove
        && (result.follow || !result.source.isEmpty() || !result.recordPath.isEmpty() || parser.isSet(http)))
        return fail(QStringLiteral("--discovery-remove reads no stream: it takes no source, --follow, --record "
                                   "or --http"));
    if (const QString error = readNumber(parser, distanceStep, 1, 10000, "cm", result.distanceStepCm); !error.isEmpty())
        return fail(error);
    if (const QString error =
            readNumber(parser, distanceInterval, 0.0, 3600.0, "seconds", result.distanceIntervalSeconds);
        !error.isEmpty())
        return fail(error);
    result.name = parser.value(name);
    // systemd may list several directories; the unit gives one.
    result.stateDirectory = parser.isSet(stateDir)
                                ? parser.value(stateDir)
                                : qEnvironmentVariable("STATE_DIRECTORY").section(QLatin1Char(':'), 0, 0);
    if (parser.isSet(http)) {
        if (!parseHttpAddress(parser.value(http), result))
            return fail(QStringLiteral("--http needs [address:]port with a port from 1 to 65535, not \"%1\"")
                            .arg(parser.value(http)));
    }
    result.httpHosts = parser.values(httpHost);
    if (!result.httpHosts.isEmpty() && !result.http)
        return fail(QStringLiteral("--http-host needs --http"));
    const bool mqttOnly = parser.isSet(discovery) || parser.isSet(name) || parser.isSet(heartbeat)
                          || parser.isSet(discoveryPrefix) || parser.isSet(discoveryRemove)
                          || parser.isSet(distanceStep) || parser.isSet(distanceInterval) || parser.isSet(stateDir);
    if (mqttOnly && result.mqttUrl.isEmpty())
        return fail(QStringLiteral("--discovery, --discovery-prefix, --discovery-remove, --distance-step, "
                                   "--distance-interval, --name, --heartbeat and --state-dir need --mqtt"));
    if (!result.json && result.mqttUrl.isEmpty() && !result.http && result.recordPath.isEmpty())
        return fail(QStringLiteral("--no-json needs --mqtt, --http or --record: nothing would be written"));
    return {result, 0};
}

} // namespace Vantrel
