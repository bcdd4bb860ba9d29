#pragma once

#include "frame_generated.h"
#include "runnertypes.h"

#include <QCoreApplication>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>

namespace Vantrel {

class WeaveGraphRunner;

// Turns the runtime's output frames into the runner's signals: every frame is published raw, then
// decoded in place by its output id.
class FrameDecoder
{
    Q_DECLARE_TR_FUNCTIONS(FrameDecoder)

public:
    explicit FrameDecoder(WeaveGraphRunner &runner);

    // The frame callback's work: publishes a copy of the frame, then decodes it. Returns 0, or -1 when a
    // presence frame cannot be read.
    int onFrame(uint32_t outputId, const uint8_t *frame, int32_t length) const;

    // Verifies the frame and runs the decoders of its output id; emits only their signals.
    int decode(uint32_t outputId, const uint8_t *frame, size_t length) const;

private:
    using Decoder = void (FrameDecoder::*)(const Frames::Frame &frame) const;
    using PresenceDecoder = int (FrameDecoder::*)(const Frames::Frame &frame) const;
    // The decoders of one output id, run in field order (null ones skipped). The presence decoder's status
    // is the answer to the runtime; outputs without one answer 0.
    struct OutputDecoders
    {
        uint32_t outputId;
        Decoder first;
        Decoder second;
        PresenceDecoder presence;
    };
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

    WeaveGraphRunner &m_runner;
};

} // namespace Vantrel
