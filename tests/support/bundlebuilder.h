// Builds algorithm bundles with the real resource compiler, as they are shipped.
#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

namespace Vantrel::Test {

enum class Compression { None, Zlib, Zstd };

class BundleBuilder
{
public:
    // `resourcePath` is relative to the resource root, e.g. "presence/flow.bin".
    BundleBuilder &add(const QString &resourcePath, const QByteArray &content);
    BundleBuilder &addDefinition(const QString &directory, const QByteArray &json);

    // Compiles the files into `outputPath`; a format version of 0 takes the compiler's default.
    // Compression is forced on every file when asked for, so that small test files are compressed too.
    bool build(const QString &outputPath, Compression compression = Compression::None, int formatVersion = 0) const;

private:
    QMap<QString, QByteArray> m_files;
};

// Resources stay registered for the whole process; distinct names keep tests apart.
QString uniqueName(const QString &stem);

} // namespace Vantrel::Test
