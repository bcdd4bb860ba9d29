// Writes the fuzzer's seed corpus: one well-formed frame of every kind, aligned, in the fuzzer's input form.

#include "fuzzoutputids.h"
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
    for (const Vantrel::Fixtures::SampleFrame &sample : Vantrel::Fixtures::sampleFrames()) {
        char selector = 0;
        while (Vantrel::Fuzz::OutputIds[static_cast<int>(selector)] != sample.outputId)
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
