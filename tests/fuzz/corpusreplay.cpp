// Replays a fuzz target's corpus without libFuzzer: every file of the given directories goes once
// through LLVMFuzzerTestOneInput. Linked with each target in every build, so that ctest goes over the
// inputs kept in the source tree on each run; a crash, an abort or a sanitizer report fails the test.
// Usage: <target>_replay <corpus-directory>...

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <corpus-directory>...\n", argv[0]);
        return 2;
    }
    int replayed = 0;
    for (int i = 1; i < argc; ++i) {
        const QDir corpus(QString::fromLocal8Bit(argv[i]));
        if (!corpus.exists()) {
            std::fprintf(stderr, "%s: no such directory\n", argv[i]);
            return 1;
        }
        // In name order, so that runs are alike and a failing input is found again by its place.
        for (const QFileInfo &entry : corpus.entryInfoList(QDir::Files | QDir::Hidden, QDir::Name)) {
            QFile file(entry.filePath());
            if (!file.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "%s: %s\n", qPrintable(entry.filePath()), qPrintable(file.errorString()));
                return 1;
            }
            const QByteArray bytes = file.readAll();
            // Named before it runs: a crash leaves the input's name as the last line.
            std::printf("%s (%d bytes)\n", qPrintable(entry.fileName()), int(bytes.size()));
            std::fflush(stdout);
            // A copy of the input's exact size, as libFuzzer passes it: the sanitizers see any read past its end.
            const size_t size = static_cast<size_t>(bytes.size());
            const std::unique_ptr<uint8_t[]> input(new uint8_t[size > 0 ? size : 1]);
            std::memcpy(input.get(), bytes.constData(), size);
            LLVMFuzzerTestOneInput(input.get(), size);
            ++replayed;
        }
    }
    // An empty or misplaced corpus would pass without testing anything.
    if (replayed == 0) {
        std::fprintf(stderr, "no inputs to replay\n");
        return 1;
    }
    std::printf("%d inputs replayed\n", replayed);
    return 0;
}
