// How long the main window takes to answer the user on a large library
// (1000 configurations of 64 assignments, 10 000 messages): a click on an
// element until the panel shows its message, one assignment change through
// the message list (save, reload, recolour), and recolouring the whole map.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
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
    // its group: each round writes and reads back the whole library.
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
