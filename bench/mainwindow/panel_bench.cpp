// How long the main window takes to answer the user on a large library
// (1000 configurations of 64 assignments, 10 000 messages): a click on an
// element until the panel shows its message, each edit the user makes (an
// assignment through the message list, applying the panel, one key in the
// description, choosing another configuration), and recolouring the whole
// map. Each figure is the time the window thread is busy until it is back in
// its event loop; the file itself may still be on its way to the disk.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <memory>

#include "form_main.h"
#include "form_main_access.h"
#include "midi_in.h"
#include "midi_out.h"
#include "window_bench_support.h"

namespace {

std::unique_ptr<TFormMain> gWindow;

// One window on the generated library, made on first use and kept for all
// benchmarks of the run (making it loads the whole library once).
TFormMain& window() {
    std::unique_ptr<TFormMain>& w = gWindow;
    if (!w) {
        korvane::bench::writeLargeLibrary();
        w = std::make_unique<TFormMain>();
        // As the editor runs: saves land on the writer thread.
        w->setBackgroundSaving(true);
        w->setPortFactories([] { return std::unique_ptr<korvane::TMidiInput>(); },
                            [] { return std::unique_ptr<korvane::TMidiOutput>(); });
        w->show();
        QApplication::processEvents();
    }
    return *w;
}

void BM_ClickToPanel(benchmark::State& state) {
    TFormMain& w = window();
    int element = 0;
    for (auto _ : state) {
        w.ElementClicked(parts(w).EingabeElemente[static_cast<std::size_t>(element)]);
        benchmark::DoNotOptimize(parts(w).Edit_MsgLeft->text());
        element = (element + 1) % 64;
    }
    if (!TFormMainTestAccess::panelShowsMessage(w)) state.SkipWithError("the panel shows no message");
}
BENCHMARK(BM_ClickToPanel)->Unit(benchmark::kMicrosecond);

void BM_AssignmentChange(benchmark::State& state) {
    TFormMain& w = window();
    // Fader 6 of the first configuration, switched between two messages of
    // its group: each round saves the library.
    w.ElementClicked(parts(w).EingabeElemente[5]);
    if (parts(w).CB_MessageName->count() < 2) {
        state.SkipWithError("the group has fewer than two messages");
        return;
    }
    int index = 0;
    for (auto _ : state) {
        index = 1 - index;
        parts(w).CB_MessageName->setCurrentIndex(index);
        w.CB_MessageNameChange();
    }
    state.SetLabel("1000 configurations, 10000 messages");
}
BENCHMARK(BM_AssignmentChange)->Unit(benchmark::kMillisecond)->Iterations(20);

// The first assignment after the library was read: the edit that finds the
// least prepared. With 0 it comes at once; with 1 the window first had half
// a second of idle event loop, as after a user's look at the screen.
void BM_FirstAssignmentAfterLoading(benchmark::State& state) {
    TFormMain& w = window();
    int index = 0;
    for (auto _ : state) {
        state.PauseTiming();
        TFormMainTestAccess::readDocumentAgain(w);
        w.ElementClicked(parts(w).EingabeElemente[5]);
        if (state.range(0) == 1) {
            QElapsedTimer idle;
            idle.start();
            while (idle.elapsed() < 500) QApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        state.ResumeTiming();
        index = 1 - index;
        parts(w).CB_MessageName->setCurrentIndex(index);
        w.CB_MessageNameChange();
    }
}
BENCHMARK(BM_FirstAssignmentAfterLoading)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_ApplyPanel(benchmark::State& state) {
    TFormMain& w = window();
    // Fader 6's message gets two start values in turn: each round writes
    // the message node and saves.
    w.ElementClicked(parts(w).EingabeElemente[5]);
    if (!TFormMainTestAccess::panelShowsMessage(w)) {
        state.SkipWithError("the panel shows no message");
        return;
    }
    int round = 0;
    for (auto _ : state) {
        parts(w).Ed_Start->setText(QString::number(++round % 2 == 0 ? 8192 : 4096));
        w.bt_AenderungenUebernehmenClick();
    }
}
BENCHMARK(BM_ApplyPanel)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_DescriptionKey(benchmark::State& state) {
    TFormMain& w = window();
    // One key typed, then taken back with a backspace: each changes the
    // description and saves.
    QTextCursor cursor = parts(w).MemoDescription->textCursor();
    cursor.movePosition(QTextCursor::End);
    parts(w).MemoDescription->setTextCursor(cursor);
    bool typed = false;
    for (auto _ : state) {
        if (typed)
            parts(w).MemoDescription->textCursor().deletePreviousChar();
        else
            parts(w).MemoDescription->insertPlainText(QStringLiteral("x"));
        typed = !typed;
    }
}
BENCHMARK(BM_DescriptionKey)->Unit(benchmark::kMillisecond)->Iterations(40);

void BM_ChooseConfiguration(benchmark::State& state) {
    TFormMain& w = window();
    // Another configuration from the list, as a click on it does: its
    // groups, description and the 64 colours of the map.
    int index = 0;
    for (auto _ : state) {
        index = (index + 37) % parts(w).CB_Set->count();
        parts(w).CB_Set->setCurrentIndex(index);
        w.CB_SetChange();
    }
}
BENCHMARK(BM_ChooseConfiguration)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_RecolourMap(benchmark::State& state) {
    TFormMain& w = window();
    for (auto _ : state) w.HinweiseErzeugen();
}
BENCHMARK(BM_RecolourMap)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    // The window goes before the application object it needs.
    return korvane::bench::runWindowBenchmarks(argc, argv, [] { gWindow.reset(); });
}
