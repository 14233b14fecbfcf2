// How long the editor takes from the start of its windows to the first
// painted frame of the main window, on a large library (1000 configurations
// of 64 assignments, 10 000 messages) in its data folder. Each round makes
// the program's windows as the editor does, shows the main window and runs
// the event loop until the main window paints; the windows are destroyed
// outside the measured time.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <memory>

#include "dialogs.h"
#include "form_main.h"
#include "library_gen.h"
#include "program.h"

namespace {

// Notices the first paint of any widget of one window.
class FirstPaint : public QObject {
public:
    explicit FirstPaint(QWidget* window) : window_(window) {}
    bool painted = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->window() == window_)
            painted = true;
        return false;
    }

private:
    QWidget* window_;
};

void writeLibrary() {
    const QString folder =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Pellux3");
    QDir().mkpath(folder);
    korvane::bench::LibrarySpec spec;
    spec.configurations = 1000;
    spec.messages = 10000;
    spec.groups = 100;
    QFile f(folder + QStringLiteral("/korvane.xml"));
    f.open(QIODevice::WriteOnly);
    const std::string xml = korvane::bench::makeLibraryXml(spec);
    f.write(xml.data(), static_cast<qint64>(xml.size()));
}

void BM_StartToFirstFrame(benchmark::State& state) {
    writeLibrary();
    for (auto _ : state) {
        auto windows = std::make_unique<korvane::EditorWindows>();
        FirstPaint watch(&windows->main());
        qApp->installEventFilter(&watch);
        windows->main().show();
        while (!watch.painted) QApplication::processEvents(QEventLoop::AllEvents, 5);
        qApp->removeEventFilter(&watch);
        state.PauseTiming();
        windows->main().close();
        windows.reset();
        QApplication::processEvents();
        state.ResumeTiming();
    }
    state.SetLabel("1000 configurations, 10000 messages");
}
BENCHMARK(BM_StartToFirstFrame)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/data")).toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toUtf8());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    korvane::ScriptedDialogs boxes;
    korvane::ScopedDialogs scope(&boxes);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
