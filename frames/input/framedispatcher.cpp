#include "frames/input/framedispatcher.h"

#include "decoding/framedecoder.h"
#include "frames/input/framelistener.h"
#include "decoding/framereader.h"

#include <cstring>

namespace Vantrel {

namespace {

constexpr size_t LargeFrame = size_t{1} << 20;

} // namespace

FrameDispatcher::FrameDispatcher(const QStringList &kinds, uint32_t outputId, FrameListener &listener)
    : m_outputId(outputId)
    , m_listener(listener)
{
    for (const QString &kind : kinds)
        m_kinds.push_back(kind.toLatin1());
}

void FrameDispatcher::frame(const uint8_t *bytes, size_t length, uint64_t offset)
{
    if (!FrameReader::verify(bytes, length)) {
        m_invalid.skipped(offset, length);
        return;
    }
    const Frames::Frame &root = *FrameReader::root(bytes);
    const uint32_t outputId = m_outputId != 0 ? m_outputId : FrameDecoder::recognize(root);
    if (!wanted(FrameDecoder::kind(outputId)))
        return;
    FrameDecoder::decodeVerified(outputId, root, m_decoded);
    m_decoded.length = length;
    m_listener.frame(m_decoded);
    // The points of one large frame must not keep their room for good.
    if (length > LargeFrame)
        m_decoded = DecodedFrame();
}

void FrameDispatcher::flush()
{
    m_invalid.tellIfDue();
    m_listener.flush();
}

bool FrameDispatcher::wanted(const char *kind) const
{
    if (m_kinds.empty())
        return true;
    if (!kind)
        return false;
    for (const QByteArray &name : m_kinds) {
        if (std::strcmp(name.constData(), kind) == 0)
            return true;
    }
    return false;
}

} // namespace Vantrel
