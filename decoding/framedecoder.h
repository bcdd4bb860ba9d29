#pragma once

#include "frame_generated.h"
#include "framesink.h"
#include "proximitytype.h"

#include <QCoreApplication>
#include <QStringList>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>

namespace Vantrel {

// Decodes the runtime's output frames in place, by output id, into a FrameSink.
class FrameDecoder
{
    Q_DECLARE_TR_FUNCTIONS(FrameDecoder)

public:
    explicit FrameDecoder(FrameSink &sink);

    // Verifies the frame and runs the decoders of its output id. Returns 0, or -1 when a presence
    // frame cannot be read.
    int decode(uint32_t outputId, const uint8_t *frame, size_t length) const;
    // The same for a frame that has passed FrameReader::verify.
    int decodeVerified(uint32_t outputId, const Frames::Frame &frame) const;

    // The name of what the decoders read from an output id ("human-presence", "power", ...), or null
    // for an id without decoders. Ids decoded alike share a name.
    static const char *kind(uint32_t outputId);
    // Every name kind() gives, once each, in the decoders' order.
    static QStringList kinds();
    // The first output id of a kind, or 0 for an unknown name.
    static uint32_t outputIdOf(const QString &kind);
    // An output id whose decoders read this frame, told from the signals and arrays it carries, or
    // 0 when none would. Outputs that carry the same arrays are told apart only where their
    // contents differ: a proximity stream reads as fast, a presence array of five or more values
    // as a presence profile.
    static uint32_t recognize(const Frames::Frame &frame);

private:
    using Decoder = void (FrameDecoder::*)(const Frames::Frame &frame) const;
    using PresenceDecoder = int (FrameDecoder::*)(const Frames::Frame &frame) const;
    // The decoders of one output id, run in field order (null ones skipped). The presence decoder's status
    // is the answer to the runtime; outputs without one answer 0.
    struct OutputDecoders
    {
        uint32_t outputId;
        const char *kind;
        Decoder first;
        Decoder second;
        PresenceDecoder presence;
    };
    // Every output id with decoders; the first id of a kind stands for the kind.
    static const OutputDecoders s_outputs[];
    static const OutputDecoders *decodersFor(uint32_t outputId);

    int decodeHumanPresence(const Frames::Frame &frame) const;
    int decodePresence3(const Frames::Frame &frame) const;
    int decodePresenceProfile(const Frames::Frame &frame) const;
    template <R5::Proximity2D::Enum type>
    void decodeProximity(const Frames::Frame &frame) const;
    void decodeProximityFixed(const Frames::Frame &frame) const;
    void decodeDetectionStatistics(const Frames::Frame &frame) const;
    void decodeRangeProfile(const Frames::Frame &frame) const;
    void decodePowerData(const Frames::Frame &frame) const;
    void decodeHeatmapBasic(const Frames::Frame &frame) const;

    void emitPresence(const Frames::Frame &frame, bool state, uint32_t distance, uint32_t confidence) const;
    void emitNoTarget(const Frames::Frame &frame, uchar type) const;

    FrameSink &m_sink;
};

} // namespace Vantrel
