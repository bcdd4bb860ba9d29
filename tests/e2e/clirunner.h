#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Runs the real executable in a private home, so no user bundles or saved state leak in.
class CliRunner
{
public:
    struct Result
    {
        int exitCode = -1;
        bool crashed = false;
        QByteArray out;
        QByteArray err;
    };

    CliRunner();

    static QString bundle(const QString &name);
    QString home() const { return m_home.path(); }
    QProcessEnvironment environment() const;

    Result run(const QStringList &arguments, int timeoutMs = 30000) const;

private:
    QTemporaryDir m_home;
};
