// Registering real bundles and loading their algorithms.
//
// Registered resources stay for the whole process, and every scan sees all of them. Each test
// therefore uses its own tag in every directory, file and algorithm name, lets its loader absorb
// whatever earlier tests left, and checks the records that carry its tag; records without a
// tag are checked by count.
#include "catalogue/algorithmloader.h"
#include "tests/support/bundlebuilder.h"
#include "tests/support/logcapture.h"

#include <QDir>
#include <QSet>
#include <QtEndian>
#include <QFile>
#include <QJsonDocument>
#include <QResource>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

using namespace Vantrel;
using namespace Vantrel::Test;

namespace {

QByteArray definition(const QString &name, const QString &version = QStringLiteral("1.0.0"))
{
    return QStringLiteral(R"({"name":"%1","description":"d","algorithmVersion":"%2","flow":"flow.bin",
        "sensors":[{"name":"S","description":"d","options":[{"name":"mode","description":"d","values":[
        {"name":"fast","parb":"fast.parb","default":true},{"name":"slow","parb":"slow.parb"}]}]}]})")
        .arg(name, version)
        .toUtf8();
}

QStringList tagged(const LogCapture &log, const QString &tag)
{
    return log.texts().filter(tag);
}

class LoaderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_loader.loadRegisteredAlgorithms(); // take in what earlier tests registered
        m_log.clear();
    }

    QString path(const QString &fileName) const { return m_dir.filePath(fileName); }

    // A bundle with one algorithm directory `directory`, holding its definition and a flow file.
    QString build(const QString &fileName, const QString &directory, const QByteArray &json,
                  Compression compression = Compression::None, int formatVersion = 0)
    {
        const QString bundle = path(fileName);
        EXPECT_TRUE(BundleBuilder()
                        .addDefinition(directory, json)
                        .add(directory + QStringLiteral("/flow.bin"), QByteArray(2048, 'f'))
                        .build(bundle, compression, formatVersion));
        return bundle;
    }

    QTemporaryDir m_dir{QDir::tempPath() + QStringLiteral("/catalogue-XXXXXX")};
    LogCapture m_log;
    AlgorithmLoader m_loader;
};

TEST_F(LoaderTest, DirectoryRegistersFilesWithTheExactSuffixOnly)
{
    ASSERT_TRUE(QDir(m_dir.path()).mkpath(QStringLiteral("sfx_dir/sfx_e.hpd")));
    build(QStringLiteral("sfx_dir/sfx_a.hpd"), QStringLiteral("sfx_a"), definition(QStringLiteral("sfxA")));
    build(QStringLiteral("sfx_dir/sfx_b.HPD"), QStringLiteral("sfx_b"), definition(QStringLiteral("sfxB")));
    build(QStringLiteral("sfx_dir/sfx_c.txt"), QStringLiteral("sfx_c"), definition(QStringLiteral("sfxC")));
    build(QStringLiteral("sfx_dir/.sfx_d.hpd"), QStringLiteral("sfx_d"), definition(QStringLiteral("sfxD")));
    const QString directory = path(QStringLiteral("sfx_dir"));
    QSignalSpy registered(&m_loader, &AlgorithmLoader::resourceRegistered);
    QSignalSpy changed(&m_loader, &AlgorithmLoader::algorithmsOptionsChanged);

    m_loader.loadFromDirectory(directory);

    EXPECT_EQ(tagged(m_log, QStringLiteral("sfx")),
              QStringList({"Registering resources from " + QDir::toNativeSeparators(directory),
                           "Registering resources from sfx_a.hpd", "Loaded sfxA 1.0 algorithm"}));
    EXPECT_EQ(m_log.texts(QtInfoMsg).filter(QStringLiteral("sfx")).size(), 3);
    EXPECT_EQ(m_loader.registeredBundles(), QStringList{path(QStringLiteral("sfx_dir/sfx_a.hpd"))});
    const auto algorithm = m_loader.findAlgorithm(QStringLiteral("sfxA 1.0"));
    ASSERT_TRUE(algorithm);
    EXPECT_EQ(algorithm->prefix(), "sfx_a");
    EXPECT_EQ(m_loader.loadedDirectories().last(), "sfx_a");
    EXPECT_FALSE(m_loader.findAlgorithm(QStringLiteral("sfxB 1.0")));
    EXPECT_FALSE(m_loader.findAlgorithm(QStringLiteral("sfxa 1.0")));
    EXPECT_EQ(registered.count(), 0);
    EXPECT_EQ(changed.count(), 1);
}

TEST_F(LoaderTest, MissingDirectoryListsNothing)
{
    m_loader.loadFromDirectory(path(QStringLiteral("nodir_missing")));
    EXPECT_EQ(tagged(m_log, QStringLiteral("nodir_missing")),
              QStringList{"Registering resources from " + QDir::toNativeSeparators(path("nodir_missing"))});
    EXPECT_TRUE(m_loader.registeredBundles().isEmpty());
}

TEST_F(LoaderTest, SameBundleTwiceIsRegisteredOnce)
{
    const QString bundle = build(QStringLiteral("twice.hpd"), QStringLiteral("twice"), definition("twiceAlgo"));
    m_loader.loadFromFile(bundle);
    const auto algorithms = m_loader.algorithms();
    m_log.clear();

    m_loader.loadFromFile(bundle);

    EXPECT_EQ(m_log.texts(QtWarningMsg).count(QStringLiteral("Resource already registered")), 1);
    EXPECT_TRUE(tagged(m_log, QStringLiteral("twice")).isEmpty());
    EXPECT_EQ(m_loader.registeredBundles(), QStringList{bundle});
    EXPECT_EQ(m_loader.algorithms().keys(), algorithms.keys());
    EXPECT_FALSE(m_loader.registerBundle(QFileInfo(bundle), true));
}

TEST_F(LoaderTest, FileThatIsNoBundleIsRefusedAndMayBeTriedAgain)
{
    QFile junk(path(QStringLiteral("junk.hpd")));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("{\"name\": \"not a resource file\"}");
    junk.close();
    const QStringList refused{"Registering resources from junk.hpd", "Couldn't register resources from junk.hpd"};

    m_loader.loadFromFile(junk.fileName());
    EXPECT_EQ(tagged(m_log, QStringLiteral("junk")), refused);
    m_log.clear();
    m_loader.loadFromFile(junk.fileName());
    EXPECT_EQ(tagged(m_log, QStringLiteral("junk")), refused);
    EXPECT_TRUE(m_loader.registeredBundles().isEmpty());

    m_log.clear();
    m_loader.loadFromFile(path(QStringLiteral("junk_missing.hpd")));
    EXPECT_EQ(tagged(m_log, QStringLiteral("junk")),
              QStringList({"Registering resources from junk_missing.hpd",
                           "Couldn't register resources from junk_missing.hpd"}));
}

TEST_F(LoaderTest, RelativeFileIsTakenFromTheCurrentDirectory)
{
    build(QStringLiteral("relfile.hpd"), QStringLiteral("relfile"), definition(QStringLiteral("relfileAlgo")));
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(m_dir.path()));
    m_loader.loadFromFile(QStringLiteral("relfile.hpd"));
    QDir::setCurrent(previous);
    EXPECT_EQ(m_loader.registeredBundles(), QStringList{path(QStringLiteral("relfile.hpd"))});
    EXPECT_TRUE(m_loader.findAlgorithm(QStringLiteral("relfileAlgo 1.0")));
}

struct FormatCase
{
    Compression compression;
    int formatVersion;
    QResource::Compression expected;
};

TEST_F(LoaderTest, CompressedAndUncompressedBundlesOfEveryFormatVersionLoad)
{
    const FormatCase cases[] = {
        {Compression::None, 1, QResource::NoCompression},   {Compression::None, 2, QResource::NoCompression},
        {Compression::None, 3, QResource::NoCompression},   {Compression::Zlib, 1, QResource::ZlibCompression},
        {Compression::Zlib, 2, QResource::ZlibCompression}, {Compression::Zlib, 3, QResource::ZlibCompression},
        {Compression::Zstd, 3, QResource::ZstdCompression},
    };
    int n = 0;
    for (const FormatCase &c : cases) {
        const QString directory = QStringLiteral("fmt_%1").arg(++n);
        // Padding makes the definition worth compressing.
        const QByteArray json = definition(QStringLiteral("fmt%1").arg(n)) + QByteArray(4096, ' ');
        m_loader.loadFromFile(build(directory + ".hpd", directory, json, c.compression, c.formatVersion));

        const QString label = directory + QStringLiteral(" version %1").arg(c.formatVersion);
        const auto algorithm = m_loader.findAlgorithm(QStringLiteral("fmt%1 1.0").arg(n));
        ASSERT_TRUE(algorithm) << label.toStdString();
        EXPECT_EQ(algorithm->prefix(), directory);
        QResource definitionResource(QStringLiteral(":/%1/algorithm.json").arg(directory));
        EXPECT_EQ(definitionResource.compressionAlgorithm(), c.expected) << label.toStdString();
        QFile flow(QStringLiteral(":/%1/flow.bin").arg(directory));
        ASSERT_TRUE(flow.open(QIODevice::ReadOnly)) << label.toStdString();
        EXPECT_EQ(flow.readAll(), QByteArray(2048, 'f')) << label.toStdString();
    }
}

TEST_F(LoaderTest, AnnouncedRegistrationAndSeveralAlgorithmsInOneBundle)
{
    const QString bundle = path(QStringLiteral("ann.hpd"));
    ASSERT_TRUE(BundleBuilder()
                    .addDefinition(QStringLiteral("ann_one"), definition(QStringLiteral("annOne")))
                    .addDefinition(QStringLiteral("ann_two"), definition(QStringLiteral("annTwo"), "2.5.1"))
                    .add(QStringLiteral("ann_nodef/flow.bin"), "flow")
                    .add(QStringLiteral("ann_nested/deeper/algorithm.json"), definition(QStringLiteral("annNested")))
                    .build(bundle));
    QSignalSpy registered(&m_loader, &AlgorithmLoader::resourceRegistered);
    QSignalSpy changed(&m_loader, &AlgorithmLoader::algorithmsOptionsChanged);

    EXPECT_TRUE(m_loader.registerBundle(QFileInfo(bundle), true));
    EXPECT_EQ(registered.count(), 1);
    EXPECT_EQ(changed.count(), 0);

    const QStringList directories = m_loader.algorithmDirectories().filter(QStringLiteral("ann_"));
    EXPECT_EQ(QSet<QString>(directories.cbegin(), directories.cend()), QSet<QString>({"ann_one", "ann_two"}));

    m_loader.loadRegisteredAlgorithms();
    EXPECT_EQ(changed.count(), 2);
    EXPECT_TRUE(m_loader.findAlgorithm(QStringLiteral("annOne 1.0")));
    EXPECT_TRUE(m_loader.findAlgorithm(QStringLiteral("annTwo 2.5")));
    EXPECT_TRUE(tagged(m_log, QStringLiteral("ann_nodef")).isEmpty());
    EXPECT_TRUE(tagged(m_log, QStringLiteral("annNested")).isEmpty());

    m_log.clear();
    m_loader.loadRegisteredAlgorithms(); // nothing new to load
    EXPECT_EQ(changed.count(), 2);
    EXPECT_TRUE(tagged(m_log, QStringLiteral("ann")).isEmpty());

    EXPECT_FALSE(m_loader.registerBundle(QFileInfo(path(QStringLiteral("ann_missing.hpd"))), true));
    EXPECT_EQ(registered.count(), 1);
}

struct DefinitionCase
{
    const char *directory;
    QByteArray json;
    QStringList messages; // %1 stands for the definition's resource path
    bool loaded;
};

TEST_F(LoaderTest, LoadAlgorithmReportsEachOutcome)
{
    const QByteArray syntaxError = R"({"name": "ldx", )";
    QJsonParseError parseError;
    QJsonDocument::fromJson(syntaxError, &parseError);
    const DefinitionCase cases[] = {
        {"ldx_syntax", syntaxError, {"Couldn't parser json data from %1: " + parseError.errorString()}, false},
        {"ldx_array", "[1, 2]", {"Ignoring Product with empty name", "Couldn't load algorithm from %1"}, false},
        {"ldx_nosensor",
         R"({"name":"ldxNoSensor","description":"d","sensors":[]})",
         {"Ignoring Product with empty sensor list", "Couldn't load algorithm from %1"},
         false},
        {"ldx_warned",
         R"({"name":"ldxWarned","description":"d","sensors":[{"name":"S","description":"d",
            "options":[{"name":"p","values":[{"name":"v"}]}]}]})",
         {"Ignoring option with empty parb", "Invalid option, name and parb must be provided",
          "Loaded ldxWarned  algorithm"},
         true},
    };
    for (const DefinitionCase &c : cases) {
        const QString directory = QString::fromLatin1(c.directory);
        ASSERT_TRUE(m_loader.registerBundle(QFileInfo(build(directory + ".hpd", directory, c.json)), false));
        m_log.clear();
        QSignalSpy changed(&m_loader, &AlgorithmLoader::algorithmsOptionsChanged);

        EXPECT_EQ(m_loader.loadAlgorithm(directory), c.loaded) << c.directory;

        QStringList expected;
        for (const QString &message : c.messages)
            expected.append(QString(message).replace(QStringLiteral("%1"), ":/" + directory + "/algorithm.json"));
        EXPECT_EQ(m_log.texts(), expected) << c.directory;
        EXPECT_EQ(changed.count(), c.loaded ? 1 : 0) << c.directory;
        EXPECT_EQ(m_loader.loadedDirectories().contains(directory), c.loaded) << c.directory;
    }

    m_log.clear();
    EXPECT_FALSE(m_loader.loadAlgorithm(QStringLiteral("ldx_absent")));
    EXPECT_EQ(m_log.texts(), QStringList{"Couldn't open :/ldx_absent/algorithm.json"});
}

TEST_F(LoaderTest, RefusedAlgorithmsAreReadAgainAtEveryScan)
{
    build(QStringLiteral("dup_1.hpd"), QStringLiteral("dup_x"), definition(QStringLiteral("dupName")));
    build(QStringLiteral("dup_2.hpd"), QStringLiteral("dup_y"), definition(QStringLiteral("dupName"), "1.0.7"));
    build(QStringLiteral("dup_3.hpd"), QStringLiteral("dup_bad"), R"({"name":"dupBad"})");

    m_loader.loadFromDirectory(m_dir.path());
    for (int scan = 0; scan < 2; ++scan) {
        const QStringList texts = m_log.texts();
        EXPECT_EQ(texts.count(QStringLiteral("Loaded dupName 1.0 algorithm")), scan == 0 ? 1 : 0) << scan;
        EXPECT_EQ(texts.count(QStringLiteral("Duplicated algorithm: dupName 1.0")), 1) << scan;
        EXPECT_EQ(texts.count(QStringLiteral("Couldn't load algorithm from :/dup_bad/algorithm.json")), 1) << scan;
        m_log.clear();
        m_loader.loadRegisteredAlgorithms();
    }
    const bool xLoaded = m_loader.loadedDirectories().contains(QStringLiteral("dup_x"));
    const bool yLoaded = m_loader.loadedDirectories().contains(QStringLiteral("dup_y"));
    EXPECT_NE(xLoaded, yLoaded);
    EXPECT_EQ(m_loader.findAlgorithm(QStringLiteral("dupName 1.0"))->prefix(), xLoaded ? "dup_x" : "dup_y");
}

// ---- bundles that must be refused before the resource system sees them

quint32 be32(const QByteArray &image, qint64 offset)
{
    return qFromBigEndian<quint32>(image.constData() + offset);
}

void setBe32(QByteArray &image, qint64 offset, quint32 value)
{
    qToBigEndian(value, image.data() + offset);
}

void setBe16(QByteArray &image, qint64 offset, quint16 value)
{
    qToBigEndian(value, image.data() + offset);
}

// Where things are in a format-3 bundle holding one directory with one file:
// node 0 the root, node 1 the directory, node 2 the file.
struct Layout
{
    explicit Layout(const QByteArray &image)
        : tree(be32(image, 8))
        , data(be32(image, 12))
        , names(be32(image, 16))
        , file(tree + 2 * 22)
        , blob(data + be32(image, file + 10))
        , fileName(names + be32(image, file))
    {
    }
    qint64 tree, data, names, file, blob, fileName;
};

struct Corruption
{
    const char *label;
    Compression compression;
    std::function<void(QByteArray &, const Layout &)> apply;
};

TEST_F(LoaderTest, MalformedBundlesAreRefused)
{
    const Corruption corruptions[] = {
        {"truncatedByOne", Compression::None, [](QByteArray &b, const Layout &) { b.chop(1); }},
        {"truncatedHeader", Compression::None, [](QByteArray &b, const Layout &) { b.truncate(18); }},
        {"badMagic", Compression::None, [](QByteArray &b, const Layout &) { b[0] = 'x'; }},
        {"versionZero", Compression::None, [](QByteArray &b, const Layout &) { setBe32(b, 4, 0); }},
        {"versionFour", Compression::None, [](QByteArray &b, const Layout &) { setBe32(b, 4, 4); }},
        {"unknownFileFlags", Compression::None, [](QByteArray &b, const Layout &) { setBe32(b, 20, 0x100); }},
        {"treePastEnd", Compression::None, [](QByteArray &b, const Layout &) { setBe32(b, 8, quint32(b.size())); }},
        {"namesFarAway", Compression::None, [](QByteArray &b, const Layout &) { setBe32(b, 16, 0x7fffffff); }},
        {"rootIsAFile", Compression::None, [](QByteArray &b, const Layout &l) { setBe16(b, l.tree + 4, 0); }},
        {"tooManyChildren", Compression::None, [](QByteArray &b, const Layout &l) { setBe32(b, l.tree + 6, 1000); }},
        {"negativeChildCount", Compression::None,
         [](QByteArray &b, const Layout &l) { setBe32(b, l.tree + 6, 0xffffffff); }},
        {"directoryIsItsOwnChild", Compression::None,
         [](QByteArray &b, const Layout &l) { setBe32(b, l.tree + 22 + 10, 1); }},
        {"childIsTheRoot", Compression::None, [](QByteArray &b, const Layout &l) { setBe32(b, l.tree + 10, 0); }},
        {"dataOffsetPastEnd", Compression::None,
         [](QByteArray &b, const Layout &l) { setBe32(b, l.file + 10, 0x00ffffff); }},
        {"negativeDataOffset", Compression::None,
         [](QByteArray &b, const Layout &l) { setBe32(b, l.file + 10, 0xfffffff0); }},
        {"dataLengthPastEnd", Compression::None,
         [](QByteArray &b, const Layout &l) { setBe32(b, l.blob, quint32(b.size())); }},
        {"nameLengthPastEnd", Compression::None,
         [](QByteArray &b, const Layout &l) { setBe16(b, l.fileName, 0x7fff); }},
        {"negativeNameLength", Compression::None,
         [](QByteArray &b, const Layout &l) { setBe16(b, l.fileName, 0x8001); }},
        {"nameOffsetPastEnd", Compression::None,
         [](QByteArray &b, const Layout &l) { setBe32(b, l.file, quint32(b.size())); }},
        {"unknownEntryFlag", Compression::None, [](QByteArray &b, const Layout &l) { setBe16(b, l.file + 4, 0x10); }},
        {"bothCompressions", Compression::Zlib, [](QByteArray &b, const Layout &l) { setBe16(b, l.file + 4, 0x05); }},
        {"zlibAnnouncesHugeSize", Compression::Zlib,
         [](QByteArray &b, const Layout &l) { setBe32(b, l.blob + 4, 0xfffffff0); }},
        {"zlibWithoutSize", Compression::Zlib, [](QByteArray &b, const Layout &l) { setBe32(b, l.blob, 3); }},
        // The reader would grow its buffer until the stream ends, whatever the size in front says.
        {"zlibUnderstatesSize", Compression::Zlib,
         [](QByteArray &b, const Layout &l) { setBe32(b, l.blob + 4, be32(b, l.blob + 4) - 1); }},
        {"zlibOverstatesSize", Compression::Zlib,
         [](QByteArray &b, const Layout &l) { setBe32(b, l.blob + 4, be32(b, l.blob + 4) + 1); }},
        {"zstdAnnouncesHugeSize", Compression::Zstd,
         [](QByteArray &b, const Layout &l) {
             b[int(l.blob + 8)] = char(0xa0); // single segment, four-byte content size
             setBe32(b, l.blob + 9, 0xf0ffffff);
         }},
        {"zstdWithoutContentSize", Compression::Zstd,
         [](QByteArray &b, const Layout &l) { b[int(l.blob + 8)] = char(0x00); }},
        {"zstdBadMagic", Compression::Zstd, [](QByteArray &b, const Layout &l) { b[int(l.blob + 4)] = 0; }},
    };

    int n = 0;
    for (const Corruption &c : corruptions) {
        const QString directory = QStringLiteral("bad_%1").arg(++n);
        const QString original = path(directory + QStringLiteral(".orig"));
        ASSERT_TRUE(BundleBuilder()
                        .add(directory + "/algorithm.json", definition(directory) + QByteArray(4096, ' '))
                        .build(original, c.compression, 3));
        QFile source(original);
        ASSERT_TRUE(source.open(QIODevice::ReadOnly));
        QByteArray image = source.readAll();
        const Layout layout(image);
        ASSERT_EQ(be32(image, layout.file + 4) >> 16 & 0x2, 0u) << c.label; // node 2 is the file
        c.apply(image, layout);

        const QString bundle = path(directory + QStringLiteral(".hpd"));
        QFile target(bundle);
        ASSERT_TRUE(target.open(QIODevice::WriteOnly));
        target.write(image);
        target.close();
        m_loader.loadFromFile(bundle);
        EXPECT_EQ(tagged(m_log, directory + QStringLiteral(".")),
                  QStringList({"Registering resources from " + directory + ".hpd",
                               "Couldn't register resources from " + directory + ".hpd"}))
            << c.label;
        m_log.clear();
    }
    EXPECT_TRUE(m_loader.registeredBundles().isEmpty());

    // The untouched bundles themselves are fine.
    for (const Compression compression : {Compression::None, Compression::Zlib, Compression::Zstd}) {
        const QString directory = QStringLiteral("bad_control_%1").arg(int(compression));
        const QString bundle = path(directory + QStringLiteral(".hpd"));
        ASSERT_TRUE(
            BundleBuilder().add(directory + "/algorithm.json", definition(directory)).build(bundle, compression, 3));
        EXPECT_TRUE(m_loader.registerBundle(QFileInfo(bundle), false));
        EXPECT_TRUE(m_loader.loadAlgorithm(directory));
    }
}

// ---- bounds on what a bundle costs to read and to expand

constexpr int MiB = 1024 * 1024;

struct SizeCase
{
    const char *label;
    Compression compression;
    QVector<int> blobSizes; // besides the definition; zero-filled, so they compress to almost nothing
    bool accepted;
};

TEST_F(LoaderTest, UncompressedSizesAreBoundedPerFileAndPerBundle)
{
    const int full = 16 * MiB;
    const int definitionSize = 1024;
    const int rest = full - definitionSize; // what fills the bundle up to 64 MiB after three full files
    const SizeCase cases[] = {
        {"zlibFileOverBound", Compression::Zlib, {full + 1}, false},
        {"zstdFileOverBound", Compression::Zstd, {full + 1}, false},
        {"storedFileOverBound", Compression::None, {full + 1}, false},
        {"zlibAtBounds", Compression::Zlib, {full, full, full, rest}, true},
        {"zstdAtBounds", Compression::Zstd, {full, full, full, rest}, true},
        {"zlibBundleOverBound", Compression::Zlib, {full, full, full, rest + 1}, false},
        {"zstdBundleOverBound", Compression::Zstd, {full, full, full, rest + 1}, false},
    };
    const QByteArray zeros(full + 1, '\0');
    int n = 0;
    for (const SizeCase &c : cases) {
        const QString directory = QStringLiteral("size_%1").arg(++n);
        const QByteArray json = definition(directory).leftJustified(definitionSize);
        ASSERT_EQ(json.size(), definitionSize);
        BundleBuilder builder;
        builder.addDefinition(directory, json);
        for (int i = 0; i < c.blobSizes.size(); ++i)
            builder.add(directory + QStringLiteral("/blob%1.bin").arg(i),
                        QByteArray::fromRawData(zeros.constData(), c.blobSizes[i]));
        const QString bundle = path(directory + QStringLiteral(".hpd"));
        ASSERT_TRUE(builder.build(bundle, c.compression, 3)) << c.label;

        EXPECT_EQ(m_loader.registerBundle(QFileInfo(bundle), false), c.accepted) << c.label;
        EXPECT_EQ(m_log.texts(QtWarningMsg).contains("Couldn't register resources from " + directory + ".hpd"),
                  !c.accepted)
            << c.label;
        EXPECT_EQ(m_loader.loadAlgorithm(directory), c.accepted) << c.label;
        QFile::remove(bundle);
        m_log.clear();
    }
}

// Only a regular file of at most 64 MiB is read; anything else is refused before it is read.
TEST_F(LoaderTest, OnlyRegularFilesOfBoundedSizeAreRead)
{
    const QString original =
        build(QStringLiteral("file_base.orig"), QStringLiteral("file_ok"), definition(QStringLiteral("fileOk")));
    const auto padded = [&](const QString &fileName, qint64 size) {
        const QString bundle = path(fileName);
        EXPECT_TRUE(QFile::copy(original, bundle));
        EXPECT_TRUE(QFile(bundle).resize(size)); // sparse: zeros after the bundle cost no disk
        return bundle;
    };
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("file_dir.hpd")));
    const struct
    {
        QString path;
        bool accepted;
    } cases[] = {
        {path(QStringLiteral("file_dir.hpd")), false},
        {QStringLiteral("/dev/zero"), false},
        {padded(QStringLiteral("file_over.hpd"), 64 * MiB + 1), false},
        {padded(QStringLiteral("file_at.hpd"), 64 * MiB), true},
    };
    for (const auto &c : cases) {
        const QString fileName = QFileInfo(c.path).fileName();
        m_log.clear();
        EXPECT_EQ(m_loader.registerBundle(QFileInfo(c.path), false), c.accepted) << qPrintable(c.path);
        EXPECT_EQ(m_log.texts(QtWarningMsg).contains("Couldn't register resources from " + fileName), !c.accepted)
            << qPrintable(c.path);
    }
    EXPECT_TRUE(m_loader.loadAlgorithm(QStringLiteral("file_ok")));
}

} // namespace
