#include "tests/support/mqtttesting.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <QThread>

#include <mosquitto.h>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Vantrel::Test {

namespace {

// Connects to 127.0.0.1:port, or with port 0 binds there: answers the port, 0 on failure.
int probe(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    auto *any = reinterpret_cast<sockaddr *>(&address);
    socklen_t length = sizeof address;
    const bool ok =
        port ? ::connect(fd, any, length) == 0 : bind(fd, any, length) == 0 && getsockname(fd, any, &length) == 0;
    close(fd);
    return ok ? ntohs(address.sin_port) : 0;
}

} // namespace

MqttTestBroker::MqttTestBroker()
{
    // What it says before its log file is open (a port in use, say) goes here.
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setStandardOutputFile(m_dir.filePath(QStringLiteral("output.txt")), QIODevice::Append);
}

bool MqttTestBroker::start(QString &error)
{
    if (m_port != 0)
        return startOn(m_port, error);
    // A free port may be taken by someone else before the broker binds it: then another.
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (startOn(probe(0), error))
            return true;
    }
    return false;
}

bool MqttTestBroker::startOn(int port, QString &error)
{
    stop();
    // Debian puts the broker in /usr/sbin, which may not be on a user's PATH.
    QString program = QStandardPaths::findExecutable(QStringLiteral("mosquitto"));
    if (program.isEmpty())
        program = QStandardPaths::findExecutable(QStringLiteral("mosquitto"), {QStringLiteral("/usr/sbin")});
    QFile config(m_dir.filePath(QStringLiteral("mosquitto.conf")));
    if (program.isEmpty() || !config.open(QIODevice::WriteOnly)) {
        error = QStringLiteral("no mosquitto (Debian package mosquitto), or no place for its configuration");
        return false;
    }
    m_port = port;
    ++m_starts;
    config.write(QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\npersistence false\n"
                                "log_type all\nlog_dest file %2\n")
                     .arg(port)
                     .arg(m_dir.filePath(QStringLiteral("broker-%1.log").arg(m_starts)))
                     .toUtf8());
    // Started by root, mosquitto would become the user "mosquitto", who cannot write into our directory.
    if (geteuid() == 0)
        config.write("user root\n");
    config.close();
    m_process.start(program, {QStringLiteral("-c"), config.fileName()});
    QElapsedTimer timer;
    timer.start();
    while (!probe(port)) {
        if (m_process.state() == QProcess::NotRunning || timer.elapsed() > 15000) {
            QFile output(m_dir.filePath(QStringLiteral("output.txt")));
            output.open(QIODevice::ReadOnly);
            error =
                QStringLiteral("mosquitto did not listen on %1: %2").arg(port).arg(QString::fromUtf8(output.readAll()));
            stop();
            return false;
        }
        QThread::msleep(10);
    }
    return true;
}

void MqttTestBroker::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished(10000);
    }
}

int MqttTestBroker::countLogLines(const QStringList &texts) const
{
    QFile file(m_dir.filePath(QStringLiteral("broker-%1.log").arg(m_starts)));
    file.open(QIODevice::ReadOnly);
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    return int(std::count_if(lines.begin(), lines.end(), [&](const QString &line) {
        return std::all_of(texts.begin(), texts.end(), [&](const QString &text) { return line.contains(text); });
    }));
}

MqttRecorder::MqttRecorder(int port)
{
    static std::once_flag initialized;
    std::call_once(initialized, [] { mosquitto_lib_init(); });
    m_client = mosquitto_new(nullptr, true, this);
    mosquitto_connect_callback_set(m_client, &MqttRecorder::onConnect);
    mosquitto_subscribe_callback_set(m_client, &MqttRecorder::onSubscribe);
    mosquitto_message_callback_set(m_client, &MqttRecorder::onMessage);
    mosquitto_reconnect_delay_set(m_client, 1, 1, false);
    // The loop first: started after a failed first connection, it would never try again.
    mosquitto_loop_start(m_client);
    mosquitto_connect_async(m_client, "127.0.0.1", port, 30);
}

MqttRecorder::~MqttRecorder()
{
    mosquitto_disconnect(m_client);
    mosquitto_loop_stop(m_client, false);
    mosquitto_destroy(m_client);
}

bool MqttRecorder::waitSubscribed()
{
    return waitUntil([this] {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_subscribed;
    });
}

QList<ReceivedMessage> MqttRecorder::messages(const QString &topic) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    QList<ReceivedMessage> found;
    std::copy_if(m_messages.begin(), m_messages.end(), std::back_inserter(found),
                 [&](const ReceivedMessage &message) { return message.topic == topic; });
    return found;
}

QByteArray MqttRecorder::lastPayload(const QString &topic) const
{
    const QList<ReceivedMessage> found = messages(topic);
    return found.isEmpty() ? QByteArray() : found.last().payload;
}

void MqttRecorder::onConnect(mosquitto *client, void *, int result)
{
    if (result == 0)
        mosquitto_subscribe(client, nullptr, "#", 1);
}

void MqttRecorder::onSubscribe(mosquitto *, void *self, int, int, const int *)
{
    auto *recorder = static_cast<MqttRecorder *>(self);
    std::lock_guard<std::mutex> lock(recorder->m_mutex);
    recorder->m_subscribed = true;
}

void MqttRecorder::onMessage(mosquitto *, void *self, const mosquitto_message *message)
{
    auto *recorder = static_cast<MqttRecorder *>(self);
    const qint64 now = steadyNowMs();
    std::lock_guard<std::mutex> lock(recorder->m_mutex);
    recorder->m_messages << ReceivedMessage{
        QString::fromUtf8(message->topic), QByteArray(static_cast<const char *>(message->payload), message->payloadlen),
        message->retain, now};
}

qint64 steadyNowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

QByteArray retainedMessage(int port, const QString &topic)
{
    MqttRecorder late(port);
    if (!waitUntil([&] { return late.count(topic) > 0; }))
        return "(nothing)";
    const QList<ReceivedMessage> messages = late.messages(topic);
    return messages.size() == 1 && messages[0].retained ? messages[0].payload : "(not one retained message)";
}

bool publishMessage(int port, const QString &topic, const QByteArray &payload, bool retained)
{
    bool acknowledged = false;
    mosquitto *client = mosquitto_new(nullptr, true, &acknowledged);
    mosquitto_publish_callback_set(client, [](mosquitto *, void *flag, int) { *static_cast<bool *>(flag) = true; });
    const bool sent = mosquitto_connect(client, "127.0.0.1", port, 30) == MOSQ_ERR_SUCCESS
                      && mosquitto_publish(client, nullptr, topic.toUtf8().constData(), payload.size(),
                                           payload.constData(), 1, retained)
                             == MOSQ_ERR_SUCCESS
                      && waitUntil([&] { return mosquitto_loop(client, 10, 1) == MOSQ_ERR_SUCCESS && acknowledged; });
    mosquitto_disconnect(client);
    mosquitto_destroy(client);
    return sent;
}

} // namespace Vantrel::Test
