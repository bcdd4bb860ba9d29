// Checks that bytes are a complete binary resource file as the resource compiler writes it.
// The resource system trusts every offset in such a file, so a truncated or corrupted bundle
// would make it read outside the file; only checked bytes are handed to it. The resource system
// also inflates compressed files whole when they are read, so what a bundle expands to is bounded.
#pragma once

#include <QByteArray>
#include <QVector>

#include <optional>

namespace Vantrel {

class RccChecker
{
public:
    static bool isWellFormed(const QByteArray &image);

private:
    struct ZlibStream
    {
        quint64 offset;
        quint32 length;
        quint32 announcedSize;
    };

    explicit RccChecker(const QByteArray &image);

    bool checkHeader();
    bool checkTree();
    bool checkName(quint64 entry, bool root) const;
    bool checkData(quint64 entry, quint16 flags);
    std::optional<quint64> zstdContentSize(quint64 frame, quint32 length) const;
    bool checkZlibStreams() const;
    bool inflatesToExactly(const ZlibStream &stream) const;

    bool inside(quint64 offset, quint64 length) const;
    quint16 u16(quint64 offset) const;
    quint32 u32(quint64 offset) const;

    const QByteArray &m_image;
    quint32 m_version = 0;
    quint32 m_treeOffset = 0;
    quint32 m_dataOffset = 0;
    quint32 m_namesOffset = 0;
    quint64 m_entrySize = 0;
    quint64 m_nodeCapacity = 0;
    quint64 m_totalSize = 0;
    QVector<ZlibStream> m_zlibStreams;
};

} // namespace Vantrel
