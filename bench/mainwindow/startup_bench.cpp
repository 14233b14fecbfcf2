// How long the editor takes from the start of its windows to the first
// painted frame of the main window, on a large library (1000 configurations
// of 64 assignments, 10 000 messages) in its data folder. Each round makes
// the program's windows as the editor does, shows the main window and runs
// the event loop until the main window paints; the windows are destroyed
// outside the measured time.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEvent>
#include <memory>

#include "form_main.h"
#include "program.h"
#include "window_bench_support.h"

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

void BM_StartToFirstFrame(benchmark::State& state) {
    korvane::bench::writeLargeLibrary();
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

int main(int argc, char** argv) { return korvane::bench::runWindowBenchmarks(argc, argv); }
