#include "tests/support/bundlebuilder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace Vantrel::Test {

BundleBuilder &BundleBuilder::add(const QString &resourcePath, const QByteArray &content)
{
    m_files.insert(resourcePath, content);
    return *this;
}

BundleBuilder &BundleBuilder::addDefinition(const QString &directory, const QByteArray &json)
{
    return add(directory + QStringLiteral("/algorithm.json"), json);
}

bool BundleBuilder::build(const QString &outputPath, Compression compression, int formatVersion) const
{
    QTemporaryDir sources;
    if (!sources.isValid())
        return false;
    QByteArray qrc = "<RCC><qresource prefix=\"/\">\n";
    QStringList written;
    for (auto it = m_files.cbegin(); it != m_files.cend(); ++it) {
        // Content met before is named again by an alias instead of being written again, which
        // keeps bundles of many large files cheap to build.
        const auto same = std::find_if(written.cbegin(), written.cend(),
                                       [&](const QString &earlier) { return m_files.value(earlier) == it.value(); });
        if (same != written.cend()) {
            qrc += "<file alias=\"" + it.key().toUtf8() + "\">" + same->toUtf8() + "</file>\n";
            continue;
        }
        const QString path = sources.filePath(it.key());
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(it.value()) != it.value().size())
            return false;
        written.append(it.key());
        qrc += "<file>" + it.key().toUtf8() + "</file>\n";
    }
    qrc += "</qresource></RCC>\n";
    QFile qrcFile(sources.filePath(QStringLiteral("bundle.qrc")));
    if (!qrcFile.open(QIODevice::WriteOnly) || qrcFile.write(qrc) != qrc.size())
        return false;
    qrcFile.close();

    QStringList arguments{QStringLiteral("--binary")};
    switch (compression) {
    case Compression::None:
        arguments << QStringLiteral("--no-compress");
        break;
    case Compression::Zlib:
        arguments << QStringLiteral("--compress-algo") << QStringLiteral("zlib") << QStringLiteral("--threshold")
                  << QStringLiteral("0");
        break;
    case Compression::Zstd:
        arguments << QStringLiteral("--compress-algo") << QStringLiteral("zstd") << QStringLiteral("--threshold")
                  << QStringLiteral("0");
        break;
    }
    if (formatVersion > 0)
        arguments << QStringLiteral("--format-version") << QString::number(formatVersion);
    arguments << qrcFile.fileName() << QStringLiteral("-o") << outputPath;

    QProcess rcc;
    rcc.start(QStringLiteral(VANTREL_RCC_PATH), arguments);
    if (!rcc.waitForFinished(60000) || rcc.exitStatus() != QProcess::NormalExit || rcc.exitCode() != 0) {
        std::fprintf(stderr, "rcc failed: %s\n", rcc.readAllStandardError().constData());
        return false;
    }
    return true;
}

QString uniqueName(const QString &stem)
{
    static int counter = 0;
    return QStringLiteral("%1_%2").arg(stem).arg(++counter);
}

} // namespace Vantrel::Test
