// Feeds arbitrary bytes through the frame path: raw copy, verification, decoding by output id.
// Input: one byte choosing the output id, one byte choosing the frame's misalignment, then the frame.

#include "runtime/handedframe.h"
#include "runtime/runnersignals.h"
#include "runtime/weavegraphrunner.h"
#include "tests/fuzz/fuzzoutputids.h"

#include <QtGlobal>

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <vector>

namespace {

void quiet(QtMsgType, const QMessageLogContext &, const QString &)
{
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Vantrel::WeaveGraphRunner *const runner = [] {
        qInstallMessageHandler(quiet);
        return new Vantrel::WeaveGraphRunner;
    }();
    if (size < 2)
        return 0;
    const uint32_t outputId = Vantrel::Fuzz::OutputIds[data[0] % std::size(Vantrel::Fuzz::OutputIds)];
    const size_t offset = data[1] % 8;
    std::vector<uint8_t> buffer(offset + size - 2);
    std::copy(data + 2, data + size, buffer.begin() + static_cast<std::ptrdiff_t>(offset));
    Vantrel::HandedFrame handed;
    handed.read(outputId, buffer.data() + offset, static_cast<int32_t>(size - 2), true);
    Vantrel::RunnerSignals(*runner).publish(handed);
    return 0;
}
