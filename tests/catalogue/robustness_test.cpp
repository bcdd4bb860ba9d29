// Thousands of seeded corruptions and truncations of real bundles are loaded: none may crash
// the program, and each is either registered or refused with the warning. Batches run in child
// processes so that a crash is reported instead of ending the suite, and so that each batch
// starts with an empty resource tree.
#include "catalogue/algorithmloader.h"
#include "tests/support/bundlebuilder.h"
#include "tests/support/logcapture.h"

#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>

using namespace Vantrel;
using namespace Vantrel::Test;

namespace {

constexpr int MutationCount = 5000;
constexpr int BatchSize = 250;

const QByteArray definition = R"({"name":"Fuzz","description":"d","algorithmVersion":"1.2.3","flow":"flow.bin",
    "timeoutRangeSeconds":{"start":0,"end":60,"default":10,"increments":1},
    "sensors":[{"name":"S","description":"d","options":[{"name":"mode","description":"d","values":[
    {"name":"fast","parb":"fast.parb","default":true},{"name":"slow","parb":"slow.parb"}]}]}]})";

QVector<QByteArray> validImages(const QString &workDirectory)
{
    struct Variant
    {
        Compression compression;
        int formatVersion;
    };
    const Variant variants[] = {{Compression::None, 1}, {Compression::None, 2}, {Compression::None, 3},
                                {Compression::Zlib, 2}, {Compression::Zlib, 3}, {Compression::Zstd, 3}};
    QVector<QByteArray> images;
    for (const Variant &variant : variants) {
        const QString path = workDirectory + QStringLiteral("/base%1.rcc").arg(images.size());
        const bool built = BundleBuilder()
                               .addDefinition(QStringLiteral("fz_a"), definition)
                               .add(QStringLiteral("fz_a/flow.bin"), QByteArray(600, 'x') + "flow")
                               .add(QStringLiteral("fz_a/fast.parb"), QByteArray(300, '\1'))
                               .addDefinition(QStringLiteral("fz_b"), definition)
                               .build(path, variant.compression, variant.formatVersion);
        QFile file(path);
        if (!built || !file.open(QIODevice::ReadOnly))
            return {};
        images.append(file.readAll());
    }
    return images;
}

QByteArray mutate(QByteArray image, std::mt19937 &random)
{
    const auto below = [&random](quint32 bound) {
        return std::uniform_int_distribution<quint32>(0, bound - 1)(random);
    };
    const quint32 size = quint32(image.size());
    // The tree sits at the end of the file: aim many changes at it and at the header.
    const quint32 treeStart = qFromBigEndian<quint32>(image.constData() + 8);
    const auto structural = [&]() { return below(2) ? below(24) : treeStart + below(size - treeStart); };
    static const quint32 words[] = {0, 1, 2, 0x7fffffff, 0x80000000, 0xffffffff, 0x10000};
    switch (below(5)) {
    case 0:
        image.truncate(int(below(size)));
        break;
    case 1:
        for (quint32 n = 1 + below(4); n > 0; --n)
            image[int(below(size))] = char(below(256));
        break;
    case 2:
        for (quint32 n = 1 + below(2); n > 0; --n)
            image[int(structural())] = char(below(256));
        break;
    case 3: {
        const quint32 at = qMin(structural(), size - 4);
        const quint32 value = below(2) ? words[below(std::size(words))] : size - below(64);
        qToBigEndian(value, image.data() + at);
        break;
    }
    default: {
        const quint32 at = qMin(structural(), size - 2);
        static const quint16 halves[] = {0, 1, 2, 4, 5, 0x7fff, 0x8000, 0xffff};
        qToBigEndian(halves[below(std::size(halves))], image.data() + at);
        break;
    }
    }
    return image;
}

// Reads every resource file, as the runner will read flow and parameter files.
void readEverything()
{
    QDirIterator it(QStringLiteral(":/"), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (file.open(QIODevice::ReadOnly))
            file.readAll();
    }
}

[[noreturn]] void runBatch(int batch, const QVector<QByteArray> &images, const QString &workDirectory)
{
    std::mt19937 random(quint32(batch) * 7919u + 17u);
    AlgorithmLoader loader;
    LogCapture log;
    int registered = 0;
    int refused = 0;
    int inconsistent = 0;
    for (int i = 0; i < BatchSize; ++i) {
        const QByteArray image = mutate(images[i % images.size()], random);
        const QString fileName = QStringLiteral("m%1_%2.hpd").arg(batch).arg(i);
        QFile file(workDirectory + QLatin1Char('/') + fileName);
        if (!file.open(QIODevice::WriteOnly) || file.write(image) != image.size()) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(fileName));
            std::exit(2);
        }
        file.close();

        log.clear();
        const int before = loader.registeredBundles().size();
        loader.loadFromFile(file.fileName());
        readEverything();
        const bool wasRegistered = loader.registeredBundles().size() == before + 1;
        const bool warned = log.texts(QtWarningMsg).contains("Couldn't register resources from " + fileName);
        if (wasRegistered == warned) {
            std::fprintf(stderr, "%s: registered %d, warned %d\n", qPrintable(fileName), wasRegistered, warned);
            ++inconsistent;
        }
        (wasRegistered ? registered : refused) += 1;
    }
    // Both outcomes must occur, or the mutations are not reaching what they should.
    std::fprintf(stderr, "batch %d: %d registered, %d refused\n", batch, registered, refused);
    std::exit(inconsistent == 0 && registered > 0 && refused > 0 ? 0 : 1);
}

TEST(BundleRobustness, MutatedBundlesAreLoadedOrRefusedWithoutCrashing)
{
    QTemporaryDir workDirectory;
    ASSERT_TRUE(workDirectory.isValid());
    const QVector<QByteArray> images = validImages(workDirectory.path());
    ASSERT_EQ(images.size(), 6);
    GTEST_FLAG_SET(death_test_style, "fast");
    for (int batch = 0; batch < MutationCount / BatchSize; ++batch) {
        EXPECT_EXIT(runBatch(batch, images, workDirectory.path()), ::testing::ExitedWithCode(0), "")
            << "batch " << batch;
    }
}

TEST(BundleRobustness, UntouchedBundlesRegister)
{
    QTemporaryDir workDirectory;
    ASSERT_TRUE(workDirectory.isValid());
    const QVector<QByteArray> images = validImages(workDirectory.path());
    ASSERT_EQ(images.size(), 6);
    AlgorithmLoader loader;
    for (int i = 0; i < images.size(); ++i) {
        const QString path = workDirectory.filePath(QStringLiteral("valid%1.hpd").arg(i));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(images[i]);
        file.close();
        EXPECT_TRUE(loader.registerBundle(QFileInfo(path), false)) << i;
    }
    loader.loadRegisteredAlgorithms();
    EXPECT_EQ(loader.algorithms().keys(), QStringList{"Fuzz 1.2"});
}

} // namespace
