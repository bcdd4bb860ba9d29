#pragma once

#include <QString>

#include <optional>

namespace Vantrel {

// Where presence goes: mqtt[s]://[user[:password]@]host[:port]/prefix. mqtts connects over TLS and
// checks the broker against the system's certificate authorities.
class MqttUrl
{
public:
    // The URL, or nothing with the reason in error (which never repeats the password).
    static std::optional<MqttUrl> parse(const QString &text, QString &error);

    bool isValid() const { return !m_host.isEmpty(); }
    bool tls() const { return m_tls; }
    const QString &host() const { return m_host; }
    int port() const { return m_port; }
    // Empty when the URL names no user; the password is then empty as well.
    const QString &user() const { return m_user; }
    const QString &password() const { return m_password; }
    bool hasPassword() const { return m_hasPassword; }
    // Topic levels without a leading or trailing '/'; never empty in a valid URL.
    const QString &prefix() const { return m_prefix; }

    // For logs: the URL without its password.
    QString toDisplayString() const;

private:
    bool m_tls = false;
    QString m_host;
    int m_port = 0;
    QString m_user;
    QString m_password;
    bool m_hasPassword = false;
    QString m_prefix;
};

} // namespace Vantrel
