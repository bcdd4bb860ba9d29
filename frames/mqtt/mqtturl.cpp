#include "frames/mqtt/mqtturl.h"

#include <QCoreApplication>

#include <algorithm>

namespace Vantrel {

namespace {

constexpr int MqttPort = 1883;
constexpr int MqttsPort = 8883;

QString tr(const char *text)
{
    return QCoreApplication::translate("Vantrel::MqttUrl", text);
}

int hexValue(QChar c)
{
    if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
        return c.unicode() - '0';
    if (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
        return c.unicode() - 'a' + 10;
    if (c >= QLatin1Char('A') && c <= QLatin1Char('F'))
        return c.unicode() - 'A' + 10;
    return -1;
}

// User names and passwords may hold ':', '@' and '/' only percent-encoded. The decoded bytes are UTF-8.
std::optional<QString> percentDecoded(const QString &text)
{
    QByteArray bytes;
    int plainStart = 0;
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] != QLatin1Char('%'))
            continue;
        bytes += text.mid(plainStart, i - plainStart).toUtf8();
        const int high = i + 1 < text.size() ? hexValue(text[i + 1]) : -1;
        const int low = i + 2 < text.size() ? hexValue(text[i + 2]) : -1;
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes += char(high * 16 + low);
        i += 2;
        plainStart = i + 1;
    }
    bytes += text.mid(plainStart).toUtf8();
    return QString::fromUtf8(bytes);
}

std::optional<MqttUrl> failed(QString &error, const QString &message)
{
    error = message;
    return std::nullopt;
}

} // namespace

std::optional<MqttUrl> MqttUrl::parse(const QString &text, QString &error)
{
    MqttUrl url;
    if (text.isEmpty())
        return failed(error, tr("the MQTT URL is empty"));
    const int schemeEnd = text.indexOf(QLatin1String("://"));
    const QString scheme = schemeEnd < 0 ? QString() : text.left(schemeEnd).toLower();
    if (scheme == QLatin1String("mqtt"))
        url.m_tls = false;
    else if (scheme == QLatin1String("mqtts"))
        url.m_tls = true;
    else if (schemeEnd < 0)
        return failed(error, tr("the MQTT URL has no scheme: it begins with mqtt:// or mqtts://"));
    else
        return failed(error,
                      tr("unknown scheme \"%1\" in the MQTT URL (mqtt:// or mqtts://)").arg(text.left(schemeEnd)));

    const QString rest = text.mid(schemeEnd + 3);
    const int pathStart = rest.indexOf(QLatin1Char('/'));
    // A '/' in a password would end the host part early, and the rest could read as another host or
    // port: refused, without a word of the URL in the message, which may hold the password.
    if (pathStart >= 0 && rest.indexOf(QLatin1Char('@'), pathStart) >= 0)
        return failed(error, tr("the MQTT URL holds '@' after a '/': a '/' in the user name or password is "
                                "written %2F (':' as %3A, '@' as %40)"));
    QString authority = pathStart < 0 ? rest : rest.left(pathStart);
    const QString prefix = pathStart < 0 ? QString() : rest.mid(pathStart + 1);

    // A password may hold '@' unencoded; the host never does.
    const int at = authority.lastIndexOf(QLatin1Char('@'));
    if (at >= 0) {
        const QString userInfo = authority.left(at);
        authority = authority.mid(at + 1);
        const int colon = userInfo.indexOf(QLatin1Char(':'));
        const std::optional<QString> user = percentDecoded(colon < 0 ? userInfo : userInfo.left(colon));
        const std::optional<QString> password = percentDecoded(colon < 0 ? QString() : userInfo.mid(colon + 1));
        if (!user || !password)
            return failed(error, tr("bad percent-encoding in the MQTT URL's user name or password: '%' is "
                                    "followed by two hex digits, as in %2F for '/'"));
        if (user->isEmpty())
            return failed(error, tr("the MQTT URL has '@' but no user name before it"));
        url.m_user = *user;
        url.m_password = *password;
        url.m_hasPassword = colon >= 0;
    }

    QString portText;
    bool hasPort = false;
    if (authority.startsWith(QLatin1Char('['))) {
        // An IPv6 address: [::1]:1883
        const int close = authority.indexOf(QLatin1Char(']'));
        if (close < 0)
            return failed(error, tr("the MQTT URL's host has '[' without ']'"));
        url.m_host = authority.mid(1, close - 1);
        const QString after = authority.mid(close + 1);
        if (!after.isEmpty() && !after.startsWith(QLatin1Char(':')))
            return failed(error, tr("unexpected \"%1\" after the MQTT URL's host").arg(after));
        hasPort = !after.isEmpty();
        portText = after.mid(1);
    } else {
        const int colon = authority.indexOf(QLatin1Char(':'));
        url.m_host = colon < 0 ? authority : authority.left(colon);
        hasPort = colon >= 0;
        portText = authority.mid(colon + 1);
    }
    if (url.m_host.isEmpty())
        return failed(error, tr("the MQTT URL names no host"));

    url.m_port = url.m_tls ? MqttsPort : MqttPort;
    if (hasPort) {
        bool ok = false;
        const int port = portText.toInt(&ok, 10);
        const bool digitsOnly =
            !portText.isEmpty() && std::all_of(portText.begin(), portText.end(), [](QChar c) { return c.isDigit(); });
        if (!ok || !digitsOnly || port < 1 || port > 65535)
            return failed(error, tr("bad port \"%1\" in the MQTT URL (1 to 65535)").arg(portText));
        url.m_port = port;
    }

    if (prefix.isEmpty())
        return failed(error, tr("the MQTT URL has no topic prefix (mqtt://host/prefix)"));
    if (prefix.contains(QLatin1Char('+')) || prefix.contains(QLatin1Char('#')))
        return failed(error, tr("the MQTT URL's topic prefix \"%1\" holds a wildcard ('+' or '#')").arg(prefix));
    if (prefix.startsWith(QLatin1Char('/')) || prefix.endsWith(QLatin1Char('/')))
        return failed(error, tr("the MQTT URL's topic prefix \"%1\" begins or ends with '/'").arg(prefix));
    url.m_prefix = prefix;
    error.clear();
    return url;
}

QString MqttUrl::toDisplayString() const
{
    QString text = m_tls ? QStringLiteral("mqtts://") : QStringLiteral("mqtt://");
    if (!m_user.isEmpty())
        text += m_user + QLatin1Char('@');
    text += m_host.contains(QLatin1Char(':')) ? QLatin1Char('[') + m_host + QLatin1Char(']') : m_host;
    return text + QLatin1Char(':') + QString::number(m_port) + QLatin1Char('/') + m_prefix;
}

} // namespace Vantrel
