#pragma once

#include "decoding/decodedframe.h"
#include "decoding/proximitytype.h"
#include "platform/weavegraph/frame_generated.h"

#include <QCoreApplication>
#include <QStringList>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>

namespace Vantrel {

// Decodes the runtime's output frames in place, by output id, into one DecodedFrame value.
class FrameDecoder
{
    Q_DECLARE_TR_FUNCTIONS(FrameDecoder)

public:
    // Verifies the frame and runs the decoders of its output id. Returns 0, or -1 when a presence
    // frame cannot be read; out holds what could be read.
    static int decode(uint32_t outputId, const uint8_t *frame, size_t length, DecodedFrame &out);
    // The same for a frame that has passed FrameReader::verify; out.length is left 0.
    static int decodeVerified(uint32_t outputId, const Frames::Frame &frame, DecodedFrame &out);

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
    using Decoder = void (*)(const Frames::Frame &frame, DecodedFrame &out);
    using PresenceDecoder = int (*)(const Frames::Frame &frame, DecodedFrame &out);
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

    static int decodeHumanPresence(const Frames::Frame &frame, DecodedFrame &out);
    static int decodePresence3(const Frames::Frame &frame, DecodedFrame &out);
    static int decodePresenceProfile(const Frames::Frame &frame, DecodedFrame &out);
    template <R5::Proximity2D::Enum type>
    static void decodeProximity(const Frames::Frame &frame, DecodedFrame &out);
    static void decodeProximityFixed(const Frames::Frame &frame, DecodedFrame &out);
    static void decodeDetectionStatistics(const Frames::Frame &frame, DecodedFrame &out);
    static void decodeRangeProfile(const Frames::Frame &frame, DecodedFrame &out);
    static void decodePowerData(const Frames::Frame &frame, DecodedFrame &out);
    static void decodeHeatmapBasic(const Frames::Frame &frame, DecodedFrame &out);

    static void noTarget(uchar type, DecodedFrame &out);
};

} // namespace Vantrel
