// Costs of the surface map: drawing the artwork once at start-up, and
// recolouring all 64 element pictures, which happens on every configuration
// choice and language change.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QWidget>

#include "surface_art.h"
#include "surface_map.h"

using namespace korvane;

static void BM_DrawAllImageLists(benchmark::State& state) {
    for (auto _ : state) {
        for (const TEingabeElementFarbe colour : {EEIMG_BLUE, EEIMG_GREEN, EEIMG_BLACK, EEIMG_RED}) {
            benchmark::DoNotOptimize(art::drawFader(colour));
            benchmark::DoNotOptimize(art::drawTaster(colour));
            benchmark::DoNotOptimize(art::drawInk(colour));
            benchmark::DoNotOptimize(art::drawJog(colour));
            benchmark::DoNotOptimize(art::drawJogMarker(colour));
        }
    }
}
BENCHMARK(BM_DrawAllImageLists)->Unit(benchmark::kMillisecond);

static void BM_BuildMap(benchmark::State& state) {
    for (auto _ : state) {
        QWidget panel;
        SurfaceMap map(&panel);
        benchmark::DoNotOptimize(map.element(63));
    }
}
BENCHMARK(BM_BuildMap)->Unit(benchmark::kMillisecond);

// Recolouring with the panel shown, so every picture really repaints.
static void BM_RecolourAllElements(benchmark::State& state) {
    QWidget panel;
    SurfaceMap map(&panel);
    panel.show();
    QApplication::processEvents();
    int round = 0;
    for (auto _ : state) {
        const auto colour = static_cast<TEingabeElementFarbe>(round++ % 4);
        for (int n = 0; n < 64; ++n) EingabeElementFaerben(Get_EingabeElement_By_Number(&panel, n), colour);
    }
}
BENCHMARK(BM_RecolourAllElements)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
