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
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <memory>

#include "dialogs.h"
#include "form_main.h"
#include "form_main_access.h"
#include "library_gen.h"
#include "midi_in.h"
#include "midi_out.h"

namespace {

std::unique_ptr<TFormMain> gWindow;

// One window on the generated library, made on first use and kept for all
// benchmarks of the run (making it loads the whole library once).
TFormMain& window() {
    std::unique_ptr<TFormMain>& w = gWindow;
    if (!w) {
        const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                               QStringLiteral("/Pellux3");
        QDir().mkpath(folder);
        korvane::bench::LibrarySpec spec;
        spec.configurations = 1000;
        spec.messages = 10000;
        spec.groups = 100;
        QFile f(folder + QStringLiteral("/korvane.xml"));
        f.open(QIODevice::WriteOnly);
        const std::string xml = korvane::bench::makeLibraryXml(spec);
        f.write(xml.data(), static_cast<qint64>(xml.size()));
        f.close();
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
        w.ElementClicked(w.EingabeElemente[static_cast<std::size_t>(element)]);
        benchmark::DoNotOptimize(w.Edit_MsgLeft->text());
        element = (element + 1) % 64;
    }
    if (!TFormMainTestAccess::panelShowsMessage(w)) state.SkipWithError("the panel shows no message");
}
BENCHMARK(BM_ClickToPanel)->Unit(benchmark::kMicrosecond);

void BM_AssignmentChange(benchmark::State& state) {
    TFormMain& w = window();
    // Fader 6 of the first configuration, switched between two messages of
    // its group: each round writes and reads back the whole library.
    w.ElementClicked(w.EingabeElemente[5]);
    if (w.CB_MessageName->count() < 2) {
        state.SkipWithError("the group has fewer than two messages");
        return;
    }
    int index = 0;
    for (auto _ : state) {
        index = 1 - index;
        w.CB_MessageName->setCurrentIndex(index);
        w.CB_MessageNameChange();
    }
    state.SetLabel("1000 configurations, 10000 messages");
}
BENCHMARK(BM_AssignmentChange)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_ApplyPanel(benchmark::State& state) {
    TFormMain& w = window();
    // Fader 6's message gets two start values in turn: each round writes
    // the message node and saves.
    w.ElementClicked(w.EingabeElemente[5]);
    if (!TFormMainTestAccess::panelShowsMessage(w)) {
        state.SkipWithError("the panel shows no message");
        return;
    }
    int round = 0;
    for (auto _ : state) {
        w.Ed_Start->setText(QString::number(++round % 2 == 0 ? 8192 : 4096));
        w.bt_AenderungenUebernehmenClick();
    }
}
BENCHMARK(BM_ApplyPanel)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_DescriptionKey(benchmark::State& state) {
    TFormMain& w = window();
    // One key typed, then taken back with a backspace: each changes the
    // description and saves.
    QTextCursor cursor = w.MemoDescription->textCursor();
    cursor.movePosition(QTextCursor::End);
    w.MemoDescription->setTextCursor(cursor);
    bool typed = false;
    for (auto _ : state) {
        if (typed)
            w.MemoDescription->textCursor().deletePreviousChar();
        else
            w.MemoDescription->insertPlainText(QStringLiteral("x"));
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
        index = (index + 37) % w.CB_Set->count();
        w.CB_Set->setCurrentIndex(index);
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
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/data")).toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toUtf8());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // No box may wait for a user during a measurement.
    korvane::ScriptedDialogs boxes;
    korvane::ScopedDialogs scope(&boxes);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // The window goes before the application object it needs.
    gWindow.reset();
    return 0;
}
