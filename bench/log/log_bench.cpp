// The calling thread's cost of one LogInfo, and how many lines per second
// reach the file, side by side with spdlog's asynchronous logger doing the
// same work (one file, a time stamp, level and thread in front of each line).

#include <benchmark/benchmark.h>
#include <spdlog/async.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "log_class.h"
#include "program_log.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kText = "Transfer: packet 17 of 64 acknowledged by the device";
constexpr int kLinesPerRound = 50000;

fs::path gFolder;
std::shared_ptr<spdlog::logger> gSpd;

void spdPattern(spdlog::logger& l) { l.set_pattern("%d.%m.%y, %H:%M:%S.%e [%l] [%t] %v"); }

void BM_Korvane_LogInfo(benchmark::State& state) {
    for (auto _ : state) korvane::LogInfo(kText);
    state.SetItemsProcessed(state.iterations());
    if (state.thread_index() == 0) korvane::programLog()->Flush(0);
}
BENCHMARK(BM_Korvane_LogInfo)->Threads(1)->Threads(4)->UseRealTime();

void BM_Spdlog_Info(benchmark::State& state) {
    for (auto _ : state) gSpd->info(kText);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Spdlog_Info)->Threads(1)->Threads(4)->UseRealTime();

// The same calls in bursts that stay below both libraries' backpressure
// (our 1 000 000-character throttle, spdlog's 8192-entry queue), with the
// writers drained between bursts outside the timing: the calling thread's
// own cost, without waiting for the disk.
constexpr int kBurst = 1000;

// Times each burst by itself and reports the mean wall-clock nanoseconds
// per call, averaged over the threads.
template <class Log, class Drain>
void runBursts(benchmark::State& state, Log log, Drain drain) {
    const int burst = kBurst / state.threads();
    double nanos = 0;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        for (int i = 0; i < burst; ++i) log();
        auto t1 = std::chrono::steady_clock::now();
        std::chrono::duration<double> took = t1 - t0;
        state.SetIterationTime(took.count());
        nanos += std::chrono::duration<double, std::nano>(took).count();
        drain();
    }
    state.SetItemsProcessed(state.iterations() * burst);
    state.counters["ns_per_call"] = benchmark::Counter(
        nanos / static_cast<double>(state.iterations() * burst), benchmark::Counter::kAvgThreads);
}

void BM_Korvane_LogInfoBurst(benchmark::State& state) {
    runBursts(
        state, [] { korvane::LogInfo(kText); }, [] { korvane::programLog()->Flush(0); });
}
BENCHMARK(BM_Korvane_LogInfoBurst)->Threads(1)->Threads(4)->UseManualTime();

void BM_Spdlog_InfoBurst(benchmark::State& state) {
    auto pool = spdlog::thread_pool();
    runBursts(
        state, [] { gSpd->info(kText); },
        [&] {
            while (pool->queue_size() != 0) std::this_thread::yield();
        });
}
BENCHMARK(BM_Spdlog_InfoBurst)->Threads(1)->Threads(4)->UseManualTime();

// Lines per second from the first call until the last line is in the file:
// a fresh log per round, destroyed at its end, which waits for the writer.
void BM_Korvane_LinesWritten(benchmark::State& state) {
    int round = 0;
    for (auto _ : state) {
        korvane::TLogClass log;
        log.Init(0, (gFolder / ("korvane-" + std::to_string(round++))).string(), "log", 0x7fffffff, 10, 1000,
                 0);
        log.RegisterThread("Bench", 0);
        for (int i = 0; i < kLinesPerRound; ++i) log.Append(kText, korvane::vlInfo, false);
    }
    state.SetItemsProcessed(state.iterations() * kLinesPerRound);
}
BENCHMARK(BM_Korvane_LinesWritten)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Spdlog_LinesWritten(benchmark::State& state) {
    int round = 0;
    for (auto _ : state) {
        auto pool = std::make_shared<spdlog::details::thread_pool>(8192, 1);
        auto sink = std::make_shared<spdlog::sinks::basic_file_sink_mt>(
            (gFolder / ("spdlog-" + std::to_string(round++) + ".log")).string(), true);
        auto logger =
            std::make_shared<spdlog::async_logger>("round", sink, pool, spdlog::async_overflow_policy::block);
        spdPattern(*logger);
        for (int i = 0; i < kLinesPerRound; ++i) logger->info(kText);
        logger.reset();
        pool.reset();  // joins the worker after it has written everything queued
    }
    state.SetItemsProcessed(state.iterations() * kLinesPerRound);
}
BENCHMARK(BM_Spdlog_LinesWritten)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    std::string pattern = (fs::temp_directory_path() / "korvane-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) return 1;
    gFolder = pattern;
    ::setenv("XDG_DATA_HOME", gFolder.c_str(), 1);

    korvane::startProgramLog();
    spdlog::init_thread_pool(8192, 1);
    gSpd = spdlog::create_async<spdlog::sinks::basic_file_sink_mt>("bench", (gFolder / "spdlog.log").string(),
                                                                   true);
    spdPattern(*gSpd);

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    korvane::stopProgramLog();
    gSpd.reset();
    spdlog::shutdown();
    std::error_code ec;
    fs::remove_all(gFolder, ec);
    return 0;
}
