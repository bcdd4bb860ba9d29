#include "frames/framedispatcher.h"

#include "decoding/framedecoder.h"
#include "decoding/framelistener.h"
#include "decoding/framereader.h"

#include <QCoreApplication>
#include <QDebug>

#include <cstring>

namespace Vantrel {

FrameDispatcher::FrameDispatcher(const QStringList &kinds, uint32_t outputId)
    : m_outputId(outputId)
{
    for (const QString &kind : kinds)
        m_kinds.push_back(kind.toLatin1());
}

void FrameDispatcher::addListener(FrameListener *listener)
{
    m_listeners.push_back(listener);
}

void FrameDispatcher::frame(const uint8_t *bytes, size_t length, uint64_t offset)
{
    if (!FrameReader::verify(bytes, length)) {
        qWarning().noquote() << QCoreApplication::translate(
                                    "FrameDispatcher", "The frame at byte %1 (%2 bytes) is not a valid frame; skipped")
                                    .arg(offset)
                                    .arg(length);
        return;
    }
    const Frames::Frame &root = *FrameReader::root(bytes);
    const uint32_t outputId = m_outputId != 0 ? m_outputId : FrameDecoder::recognize(root);
    if (!wanted(FrameDecoder::kind(outputId)))
        return;
    FrameDecoder::decodeVerified(outputId, root, m_decoded);
    m_decoded.length = length;
    for (FrameListener *listener : m_listeners)
        listener->frame(m_decoded);
}

void FrameDispatcher::flush()
{
    for (FrameListener *listener : m_listeners)
        listener->flush();
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
