// How long the editor takes from its start as a program to the first painted
// frame of its main window, with a large library (1000 configurations of 64
// assignments, 10 000 messages) in its data folder: process start, the
// libraries, Qt, the log, the windows, reading the library and the MIDI
// ports, all as a user meets them. Each round starts korvane-editor on the
// offscreen platform and waits for the line the editor logs at its first
// frame; the time is taken from before the start of the process until the
// line is in the log (the log writes every 10 ms, so up to that much late).
// The editor's own figure from that line is reported beside it.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "library_gen.h"
#include "process.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kMarker = "start: first frame of the main window after ";

// The editor's own figure, once its line is in the log.
std::optional<long> firstFrameLine(const fs::path& log) {
    std::ifstream in(log, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        const auto at = line.find(kMarker);
        if (at != std::string::npos)
            return std::strtol(line.c_str() + at + std::strlen(kMarker), nullptr, 10);
    }
    return std::nullopt;
}

void BM_ExecToFirstFrame(benchmark::State& state) {
    const fs::path home = korvane::testing::makeTempDir("korvane-start-bench");
    const fs::path data = home / "data" / "Pellux3";
    fs::create_directories(data);
    korvane::bench::LibrarySpec spec;
    spec.configurations = 1000;
    spec.messages = 10000;
    spec.groups = 100;
    std::ofstream(data / "korvane.xml", std::ios::binary) << korvane::bench::makeLibraryXml(spec);
    setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const fs::path log = data / "logs" / "Korvane.log";

    double ownMs = 0;
    for (auto _ : state) {
        fs::remove_all(data / "logs");
        const auto start = Clock::now();
        korvane::testing::BackgroundProcess editor({KORVANE_BIN_DIR "/korvane-editor"});
        std::optional<long> own;
        while (!own && editor.running() && Clock::now() - start < std::chrono::seconds(30)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            own = firstFrameLine(log);
        }
        const auto seen = Clock::now();
        editor.stop();
        if (!own) {
            state.SkipWithError("the editor logged no first frame");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(seen - start).count());
        ownMs += static_cast<double>(*own);
    }
    state.counters["editor_ms"] = benchmark::Counter(ownMs, benchmark::Counter::kAvgIterations);
    state.SetLabel("1000 configurations, 10000 messages");
    fs::remove_all(home);
}
BENCHMARK(BM_ExecToFirstFrame)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
