#include "catalogue/algorithmloader.h"

#include "catalogue/definitionreader.h"
#include "catalogue/helptexts.h"
#include "catalogue/rccchecker.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QResource>

#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Vantrel {

namespace {

const QString ResourceRoot = QStringLiteral(":/");
const QString DefinitionFileName = QStringLiteral("algorithm.json");
const QString BundleSuffix = QStringLiteral("hpd");

QString definitionPath(const QString &directoryName)
{
    return QStringLiteral(":/%1/%2").arg(directoryName, DefinitionFileName);
}

// A bundle is read whole into memory, so only a regular file of bounded size is read.
constexpr qint64 MaxBundleFileSize = 64 * 1024 * 1024;

bool isReadableBundleFile(const struct stat &status)
{
    return S_ISREG(status.st_mode) && status.st_size <= MaxBundleFileSize;
}

// Reads the `size` bytes that fstat() gave. A file that turns out longer is being written to
// and is refused, having been read no further than one byte past its size.
std::optional<QByteArray> readExactly(int descriptor, qint64 size)
{
    QFile file;
    if (!file.open(descriptor, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::DontCloseHandle))
        return std::nullopt;
    const QByteArray image = file.read(size + 1);
    if (image.size() > size || file.error() != QFileDevice::NoError)
        return std::nullopt;
    return image;
}

// The path is checked before it is opened, since merely opening a FIFO or a device can block or
// act on the device. Whatever may have been swapped in since is opened without blocking and
// checked again through the descriptor.
std::optional<QByteArray> readBundleFile(const QString &filePath)
{
    const QByteArray path = QFile::encodeName(filePath);
    struct stat status = {};
    if (::stat(path.constData(), &status) != 0 || !isReadableBundleFile(status))
        return std::nullopt;
    const int descriptor = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0)
        return std::nullopt;
    std::optional<QByteArray> image;
    if (::fstat(descriptor, &status) == 0 && isReadableBundleFile(status))
        image = readExactly(descriptor, status.st_size);
    ::close(descriptor);
    return image;
}

// Registers a bundle from memory after checking it whole. The resource system keeps pointing
// into the bytes, so they are kept until the process ends.
bool registerCheckedBundle(const QString &filePath)
{
    const std::optional<QByteArray> image = readBundleFile(filePath);
    if (!image || !RccChecker::isWellFormed(*image))
        return false;
    static auto *const keptImages = new QVector<QByteArray>;
    keptImages->append(*image);
    if (QResource::registerResource(reinterpret_cast<const uchar *>(keptImages->constLast().constData())))
        return true;
    keptImages->removeLast();
    return false;
}

} // namespace

#if defined(__SANITIZE_ADDRESS__)
#define VANTREL_LEAK_CHECKED
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VANTREL_LEAK_CHECKED
#endif
#endif

#ifdef VANTREL_LEAK_CHECKED
// Registered resources are meant to last until the process ends, and the resource system never
// frees its record of them; that is not a leak worth reporting at every exit.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:QResource::registerResource\n";
}

// The suppression is expected at every exit: keep its summary off standard error, which callers read.
extern "C" const char *__lsan_default_options()
{
    return "print_suppressions=0";
}
#endif

QString AlgorithmLoader::defaultAlgorithmDirectory()
{
    static const QString directory = QStringLiteral("/usr/share/vantrel/algorithms");
    return directory;
}

void AlgorithmLoader::loadFromDirectory(const QString &path)
{
    const QFileInfoList entries = QDir(path).entryInfoList(QDir::Files | QDir::NoSymLinks, QDir::Name);
    qInfo().noquote() << tr("Registering resources from %1").arg(QDir::toNativeSeparators(path));
    for (const QFileInfo &entry : entries) {
        if (entry.suffix() == BundleSuffix)
            registerBundle(entry, false);
    }
    loadRegisteredAlgorithms();
}

void AlgorithmLoader::loadFromFile(const QString &path)
{
    registerBundle(QFileInfo(path), false);
    loadRegisteredAlgorithms();
}

bool AlgorithmLoader::registerBundle(const QFileInfo &fileInfo, bool announce)
{
    const QString absolutePath = fileInfo.absoluteFilePath();
    if (m_registeredBundles.contains(absolutePath)) {
        qWarning().noquote() << tr("Resource already registered");
        return false;
    }
    qInfo().noquote() << tr("Registering resources from %1").arg(fileInfo.fileName());
    if (!registerCheckedBundle(absolutePath)) {
        qWarning().noquote() << tr("Couldn't register resources from %1").arg(fileInfo.fileName());
        return false;
    }
    m_registeredBundles.append(absolutePath);
    if (announce)
        Q_EMIT resourceRegistered();
    return true;
}

QStringList AlgorithmLoader::algorithmDirectories() const
{
    QStringList result;
    const QStringList directories =
        QDir(ResourceRoot).entryList(QDir::Dirs | QDir::NoSymLinks | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QString &directory : directories) {
        // One lookup instead of listing the directory: each lookup scans every registered bundle.
        const QFileInfo definition(definitionPath(directory));
        if (definition.isFile() && definition.isReadable() && !definition.isSymLink())
            result.append(directory);
    }
    return result;
}

void AlgorithmLoader::loadRegisteredAlgorithms()
{
    const QStringList directories = algorithmDirectories();
    for (const QString &directory : directories) {
        if (!m_loadedDirectories.contains(directory))
            loadAlgorithm(directory);
    }
}

bool AlgorithmLoader::loadAlgorithm(const QString &directoryName)
{
    const QString path = definitionPath(directoryName);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning().noquote() << tr("Couldn't open %1").arg(path);
        return false;
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (document.isNull()) {
        qWarning().noquote() << tr("Couldn't parser json data from %1: %2").arg(path, error.errorString());
        return false;
    }
    const std::optional<AlgorithmOption> algorithm = DefinitionReader::readAlgorithm(directoryName, document.object());
    if (!algorithm) {
        qWarning().noquote() << tr("Couldn't load algorithm from %1").arg(path);
        return false;
    }
    if (m_algorithms.contains(algorithm->name())) {
        qWarning().noquote() << tr("Duplicated algorithm: %1").arg(algorithm->name());
        return false;
    }
    qInfo().noquote() << tr("Loaded %1 algorithm").arg(algorithm->name());
    m_algorithms.insert(algorithm->name(), *algorithm);
    m_loadedDirectories.append(directoryName);
    Q_EMIT algorithmsOptionsChanged();
    return true;
}

std::optional<AlgorithmOption> AlgorithmLoader::findAlgorithm(const QString &name) const
{
    const auto it = m_algorithms.constFind(name);
    if (it == m_algorithms.constEnd())
        return std::nullopt;
    return *it;
}

QStringList AlgorithmLoader::algorithmNames() const
{
    QStringList names;
    for (auto it = m_algorithms.cbegin(); it != m_algorithms.cend(); ++it)
        names.append(quoteIfSpaced(it.key()));
    return names;
}

QString AlgorithmLoader::supportedAlgorithmsHelp() const
{
    return tr("Supported algorithms:\n%1").arg(algorithmNames().join(QLatin1Char('\n')));
}

} // namespace Vantrel
