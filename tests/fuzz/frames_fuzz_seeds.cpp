// Writes the fuzzer's seed corpus: one well-formed frame of every kind, aligned, in the fuzzer's input form.

#include "sampleframes.h"

#include <QDir>
#include <QFile>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus-directory>\n", argv[0]);
        return 2;
    }
    const QDir corpus(QString::fromLocal8Bit(argv[1]));
    if (!corpus.mkpath(QStringLiteral(".")))
        return 1;
    // Must match the fuzzer's table of output ids.
    const uint32_t ids[] = {0x07BD8EC3, 0x23E70800, 0x4CC44127, 0xD45D6362, 0x25D81213, 0x2A556650,
                            0x769537BE, 0x2D1B1A98, 0x3A9F8F01, 0x7B9595C4, 0x7CA17FFA, 0xAF4D52A1,
                            0xCE4599EC, 0xEC4C60BA, 0xE40C906F, 0x12345678};
    for (const Vantrel::Fixtures::SampleFrame &sample : Vantrel::Fixtures::sampleFrames()) {
        char selector = 0;
        while (ids[static_cast<int>(selector)] != sample.outputId)
            ++selector;
        QFile file(corpus.filePath(QString::fromStdString(sample.kind)));
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        file.putChar(selector);
        file.putChar(0);
        file.write(reinterpret_cast<const char *>(sample.bytes.data()), static_cast<qint64>(sample.bytes.size()));
    }
    return 0;
}
