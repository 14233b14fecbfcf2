#include "window_bench_support.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <string>

#include "dialogs.h"
#include "library_gen.h"

namespace korvane::bench {

void writeLargeLibrary() {
    const QString folder =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Pellux3");
    QDir().mkpath(folder);
    LibrarySpec spec;
    spec.configurations = 1000;
    spec.messages = 10000;
    spec.groups = 100;
    QFile f(folder + QStringLiteral("/korvane.xml"));
    f.open(QIODevice::WriteOnly);
    const std::string xml = makeLibraryXml(spec);
    f.write(xml.data(), static_cast<qint64>(xml.size()));
}

int runWindowBenchmarks(int argc, char** argv, const std::function<void()>& beforeExit) {
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/data")).toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toUtf8());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // No box may wait for a user during a measurement.
    ScriptedDialogs boxes;
    ScopedDialogs scope(&boxes);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (beforeExit) beforeExit();
    return 0;
}

}  // namespace korvane::bench
