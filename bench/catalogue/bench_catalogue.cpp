// Loading a directory of bundles at startup.
//
// Registered resources stay for the life of a process and every lookup walks all of them, so
// each measurement runs in a fresh child process that loads the directory once. The bundles are
// copies of one rcc-built bundle whose directory and algorithm names are rewritten in place
// (same length, name hash updated), so that every bundle holds a distinct algorithm.
#include "catalogue/algorithmloader.h"
#include "tests/support/bundlebuilder.h"

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <benchmark/benchmark.h>

#include <sys/wait.h>
#include <unistd.h>

using namespace Vantrel;

namespace {

const QString templateName = QStringLiteral("bench_000000");

QByteArray templateBundle(const QString &workDirectory)
{
    const QByteArray definition = QStringLiteral(R"({"name":"%1","description":"d","algorithmVersion":"1.0.0",
        "flow":"flow.bin","sensors":[{"name":"S","description":"d","options":[
        {"name":"mode","description":"d","values":[{"name":"fast","parb":"fast.parb","default":true},
        {"name":"slow","parb":"slow.parb"}]}]}]})")
                                      .arg(templateName)
                                      .toUtf8();
    const QString path = workDirectory + QStringLiteral("/template.rcc");
    Test::BundleBuilder builder;
    builder.addDefinition(templateName, definition)
        .add(templateName + QStringLiteral("/flow.bin"), QByteArray(4096, 'f'))
        .add(templateName + QStringLiteral("/fast.parb"), QByteArray(512, 'p'))
        .add(templateName + QStringLiteral("/slow.parb"), QByteArray(512, 'q'));
    QFile file(path);
    if (!builder.build(path, Test::Compression::None) || !file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

// Rewrites the template's name, in the directory entry and in the definition, to `name`.
QByteArray renamed(QByteArray image, const QString &name)
{
    QByteArray utf16(name.size() * 2, Qt::Uninitialized);
    qToBigEndian<quint16>(name.utf16(), name.size(), utf16.data());
    QByteArray templateUtf16(templateName.size() * 2, Qt::Uninitialized);
    qToBigEndian<quint16>(templateName.utf16(), templateName.size(), templateUtf16.data());
    const int entry = image.indexOf(templateUtf16);
    qToBigEndian<quint32>(qt_hash(name), image.data() + entry - 4);
    image.replace(entry, utf16.size(), utf16);
    return image.replace(templateName.toUtf8(), name.toUtf8());
}

bool writeBundles(const QString &directory, const QByteArray &image, int count)
{
    QDir().mkpath(directory);
    for (int i = 0; i < count; ++i) {
        const QString name = QStringLiteral("bench_%1").arg(i, 6, 10, QLatin1Char('0'));
        QFile file(directory + QLatin1Char('/') + name + QStringLiteral(".hpd"));
        const QByteArray bundle = renamed(image, name);
        if (!file.open(QIODevice::WriteOnly) || file.write(bundle) != bundle.size())
            return false;
    }
    return true;
}

void silent(QtMsgType, const QMessageLogContext &, const QString &)
{
}

// Loads the directory in a child process; the elapsed seconds, or a negative number on failure.
double loadInChild(const QString &directory, int expected)
{
    int channel[2];
    if (pipe(channel) != 0)
        return -1;
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        qInstallMessageHandler(silent);
        QElapsedTimer timer;
        timer.start();
        AlgorithmLoader loader;
        loader.loadFromDirectory(directory);
        double seconds = double(timer.nsecsElapsed()) / 1e9;
        if (loader.algorithms().size() != expected)
            seconds = -1;
        const bool written = write(channel[1], &seconds, sizeof seconds) == sizeof seconds;
        _exit(written ? 0 : 1);
    }
    close(channel[1]);
    double seconds = -1;
    if (child < 0 || read(channel[0], &seconds, sizeof seconds) != sizeof seconds)
        seconds = -1;
    close(channel[0]);
    if (child > 0)
        waitpid(child, nullptr, 0);
    return seconds;
}

void BM_LoadDirectory(benchmark::State &state)
{
    const int count = int(state.range(0));
    QTemporaryDir work;
    const QByteArray image = templateBundle(work.path());
    const QString directory = work.filePath(QStringLiteral("bundles"));
    if (image.isEmpty() || !writeBundles(directory, image, count)) {
        state.SkipWithError("cannot build the bundles");
        return;
    }
    for (auto _ : state) {
        const double seconds = loadInChild(directory, count);
        if (seconds < 0) {
            state.SkipWithError("loading failed");
            return;
        }
        state.SetIterationTime(seconds);
    }
    state.SetComplexityN(count);
}

BENCHMARK(BM_LoadDirectory)
    ->Arg(25)
    ->Arg(50)
    ->Arg(100)
    ->Arg(200)
    ->Arg(400)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

} // namespace

BENCHMARK_MAIN();
