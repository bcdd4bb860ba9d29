#include "catalogue/rccchecker.h"

#include <QBitArray>
#include <QString>
#include <QVector>
#include <QtEndian>

#include <array>

#define ZLIB_CONST
#include <zlib.h>

namespace Vantrel {

namespace {

// Layout of the format: a header, then tree entries addressed by index, names and data blobs
// addressed by offsets relative to their section. All numbers are big-endian.
constexpr quint32 HeaderSizeV1 = 20; // "qres", version, tree, data and names offsets
constexpr quint32 HeaderSizeV3 = 24; // plus the flags of the whole file
constexpr quint64 EntrySizeV1 = 14; // name offset, flags, then child count and first child, or
    // country, language and data offset
constexpr quint64 EntrySizeV2 = 22; // plus the last-modified time
constexpr quint64 NameHeaderSize = 6; // length in UTF-16 units, hash

constexpr quint16 Compressed = 0x01; // zlib, with the uncompressed size in front (qCompress)
constexpr quint16 Directory = 0x02;
constexpr quint16 CompressedZstd = 0x04;

// Largest uncompressed size of one file of a bundle, and of all its files together: what a bundle
// dropped into the algorithm directories may cost a small device.
constexpr quint64 MaxEntrySize = 16 * 1024 * 1024;
constexpr quint64 MaxBundleSize = 64 * 1024 * 1024;

// Upper bound of how much one input byte can expand to: a zstd block needs at least four bytes
// to produce its at most 128 KiB.
constexpr quint64 ZstdMaxRatio = 32768;
constexpr quint32 ZstdMagic = 0xFD2FB528;

} // namespace

bool RccChecker::isWellFormed(const QByteArray &image)
{
    RccChecker checker(image);
    // Every size is known from the headers before any stream is inflated.
    return checker.checkHeader() && checker.checkTree() && checker.checkZlibStreams();
}

RccChecker::RccChecker(const QByteArray &image)
    : m_image(image)
{
}

bool RccChecker::checkHeader()
{
    if (!inside(0, HeaderSizeV1) || !m_image.startsWith("qres"))
        return false;
    m_version = u32(4);
    if (m_version < 1 || m_version > 3)
        return false;
    m_treeOffset = u32(8);
    m_dataOffset = u32(12);
    m_namesOffset = u32(16);
    if (m_version >= 3) {
        if (!inside(0, HeaderSizeV3) || (u32(20) & ~quint32(Compressed | CompressedZstd)) != 0)
            return false;
    }
    const quint64 size = quint64(m_image.size());
    if (m_treeOffset >= size || m_dataOffset >= size || m_namesOffset >= size)
        return false;
    m_entrySize = m_version >= 2 ? EntrySizeV2 : EntrySizeV1;
    m_nodeCapacity = (size - m_treeOffset) / m_entrySize;
    return true;
}

// Walks the tree from the root. Every node must be reached exactly once, so that the structure
// is a true tree: no cycle and no shared subtree for anybody walking it recursively.
bool RccChecker::checkTree()
{
    if (m_nodeCapacity == 0 || u16(m_treeOffset + 4) != Directory)
        return false;
    QBitArray reached{int(m_nodeCapacity)};
    QVector<quint32> pending{0};
    reached.setBit(0);
    while (!pending.isEmpty()) {
        const quint32 node = pending.takeLast();
        const quint64 entry = m_treeOffset + quint64(node) * m_entrySize;
        if (!checkName(entry, node == 0))
            return false;
        const quint16 flags = u16(entry + 4);
        if (!(flags & Directory)) {
            if (!checkData(entry, flags))
                return false;
            continue;
        }
        if (flags != Directory)
            return false;
        const quint32 count = u32(entry + 6);
        const quint32 first = u32(entry + 10);
        if (count == 0)
            continue; // the first-child index of an empty directory is never read
        if (quint64(first) + count > m_nodeCapacity)
            return false;
        for (quint32 child = first; child < first + count; ++child) {
            if (reached.testBit(int(child)))
                return false;
            reached.setBit(int(child));
            pending.append(child);
        }
    }
    return true;
}

bool RccChecker::checkName(quint64 entry, bool root) const
{
    const quint64 name = quint64(m_namesOffset) + u32(entry);
    if (!inside(name, NameHeaderSize))
        return false;
    const quint16 length = u16(name);
    // The reader takes the length as a signed 16-bit number.
    if (length > 0x7fff || !inside(name + NameHeaderSize, quint64(length) * 2))
        return false;
    if (root)
        return true; // never part of a path
    // Every other name must be one path segment, or paths would alias and a recursive walk
    // could go round forever.
    QString text(length, Qt::Uninitialized);
    for (quint16 i = 0; i < length; ++i)
        text[i] = QChar(u16(name + NameHeaderSize + 2 * quint64(i)));
    return !text.isEmpty() && !text.contains(QLatin1Char('/')) && text != QLatin1String(".")
           && text != QLatin1String("..");
}

// Counts the file's uncompressed size against the bounds. Files that share a blob are counted
// once each, as each is inflated on its own when read.
bool RccChecker::checkData(quint64 entry, quint16 flags)
{
    const quint64 blob = quint64(m_dataOffset) + u32(entry + 10);
    if (!inside(blob, 4))
        return false;
    const quint32 length = u32(blob);
    if (!inside(blob + 4, length))
        return false;
    quint64 size = length;
    switch (flags) {
    case 0:
        break;
    case Compressed:
        if (length < 4)
            return false;
        size = u32(blob + 4);
        m_zlibStreams.append({blob + 8, length - 4, quint32(size)});
        break;
    case CompressedZstd: {
        const std::optional<quint64> contentSize = zstdContentSize(blob + 4, length);
        if (!contentSize)
            return false;
        size = *contentSize;
        break;
    }
    default:
        return false;
    }
    if (size > MaxEntrySize)
        return false;
    m_totalSize += size;
    return m_totalSize <= MaxBundleSize;
}

// The reader allocates the content size that the frame header announces and inflates no more
// than that, so the header must give one and it must be within what the frame's bytes can
// expand to.
std::optional<quint64> RccChecker::zstdContentSize(quint64 frame, quint32 length) const
{
    if (length < 5 || qFromLittleEndian<quint32>(m_image.constData() + frame) != ZstdMagic)
        return std::nullopt;
    const quint8 descriptor = quint8(m_image.at(int(frame + 4)));
    const quint8 sizeFlag = descriptor >> 6;
    const bool singleSegment = descriptor & 0x20;
    if (descriptor & 0x08) // reserved
        return std::nullopt;
    static constexpr quint8 dictionaryIdSizes[] = {0, 1, 2, 4};
    static constexpr quint8 contentSizeSizes[] = {0, 2, 4, 8};
    const quint64 sizeField = 5 + (singleSegment ? 0 : 1) + dictionaryIdSizes[descriptor & 0x03];
    const quint8 sizeBytes = (sizeFlag == 0 && singleSegment) ? 1 : contentSizeSizes[sizeFlag];
    if (sizeBytes == 0 || sizeField + sizeBytes > length)
        return std::nullopt;
    quint64 contentSize = 0;
    for (int i = sizeBytes - 1; i >= 0; --i)
        contentSize = (contentSize << 8) | quint8(m_image.at(int(frame + sizeField + quint64(i))));
    if (sizeBytes == 2)
        contentSize += 256;
    if (contentSize > quint64(length) * ZstdMaxRatio)
        return std::nullopt;
    return contentSize;
}

// The reader allocates the announced size of a zlib stream but keeps growing its buffer until
// the stream ends, so only a stream that inflates to exactly its announcement is accepted. Each
// is inflated here once, into a small scratch buffer, and abandoned as soon as it overruns.
bool RccChecker::checkZlibStreams() const
{
    for (const ZlibStream &stream : m_zlibStreams) {
        if (!inflatesToExactly(stream))
            return false;
    }
    return true;
}

bool RccChecker::inflatesToExactly(const ZlibStream &stream) const
{
    z_stream inflater{};
    inflater.next_in = reinterpret_cast<const Bytef *>(m_image.constData() + stream.offset);
    inflater.avail_in = stream.length;
    if (inflateInit(&inflater) != Z_OK)
        return false;
    std::array<Bytef, 16384> scratch;
    int result = Z_OK;
    while (result == Z_OK && inflater.total_out <= stream.announcedSize) {
        inflater.next_out = scratch.data();
        inflater.avail_out = uInt(scratch.size());
        result = inflate(&inflater, Z_NO_FLUSH);
    }
    const bool exact = result == Z_STREAM_END && inflater.total_out == stream.announcedSize;
    inflateEnd(&inflater);
    return exact;
}

bool RccChecker::inside(quint64 offset, quint64 length) const
{
    const quint64 size = quint64(m_image.size());
    return offset <= size && length <= size - offset;
}

quint16 RccChecker::u16(quint64 offset) const
{
    return qFromBigEndian<quint16>(m_image.constData() + offset);
}

quint32 RccChecker::u32(quint64 offset) const
{
    return qFromBigEndian<quint32>(m_image.constData() + offset);
}

} // namespace Vantrel
