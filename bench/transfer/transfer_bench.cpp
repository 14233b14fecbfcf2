// Throughput of the protocol code, and the wall time of a whole transfer of
// the shipped 64-element configuration against the simulator over JACK, next
// to the floor the protocol itself sets.

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <iostream>

#include "config_document.h"
#include "config_encoder.h"
#include "jack_server.h"
#include "process.h"
#include "sysex.h"

namespace {

using namespace korvane;

const std::filesystem::path kBin = KORVANE_BIN_DIR;
const std::string kStandard = "Standard Tarvok NRPN";

struct QuietReport : EncoderReport {
    void sendFactorZero(int) override {}
    void refused(const std::vector<EncodeProblem>&) override {}
};

void BM_EncodeStandardConfiguration(benchmark::State& state) {
    ConfigDocument doc;
    if (!doc.load(kBin / "korvane.def").ok()) {
        state.SkipWithError("korvane.def missing beside the programs");
        return;
    }
    QuietReport report;
    std::size_t bytes = 0;
    for (auto _ : state) {
        EncodeResult r = KonfigurationSenden(doc, kStandard, report);
        bytes += r.stream.size();
        benchmark::DoNotOptimize(r.stream.data());
    }
    state.SetItemsProcessed(state.iterations() * 64);  // elements
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_EncodeStandardConfiguration);

void BM_BuildDataPacket(benchmark::State& state) {
    ByteString payload(static_cast<std::size_t>(state.range(0)));
    for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<std::uint8_t>(i * 7);
    for (auto _ : state) benchmark::DoNotOptimize(BuildDataPacket(0x01, payload));
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_BuildDataPacket)->Arg(24)->Arg(4096);

void BM_DecodeDataPacket(benchmark::State& state) {
    ByteString payload(static_cast<std::size_t>(state.range(0)), 0x5A);
    const ByteString packet = BuildDataPacket(0x01, payload);
    for (auto _ : state) benchmark::DoNotOptimize(DecodeDataPacket(packet));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(packet.size()));
}
BENCHMARK(BM_DecodeDataPacket)->Arg(24)->Arg(4096);

void BM_StrInSequence(benchmark::State& state) {
    std::string text;
    for (int i = 0; i < state.range(0); ++i) text += (i ? ",B0" : "B0");
    for (auto _ : state) benchmark::DoNotOptimize(StrInSequence(text, nullptr));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_StrInSequence)->Arg(3)->Arg(1000);

// korvane send of the shipped configuration against korvane-sim (default
// timings: 100 ms store, 500 ms restart). The floor is what the protocol
// needs even from an infinitely fast device: one 20 ms poll per packet, one
// 250 ms poll each for store and restart, and the stream's bytes at the MIDI
// wire rate of 3125 bytes/s.
void BM_SendAgainstSimulator(benchmark::State& state) {
    std::string why;
    auto server = korvane::testing::JackServer::start(why);
    if (!server) {
        state.SkipWithError(why.c_str());
        return;
    }
    ConfigDocument doc;
    QuietReport report;
    if (!doc.load(kBin / "korvane.def").ok()) {
        state.SkipWithError("korvane.def missing beside the programs");
        return;
    }
    const std::size_t streamBytes = KonfigurationSenden(doc, kStandard, report).stream.size();
    const double floorMs = 64 * 20.0 + 2 * 250.0 + static_cast<double>(streamBytes) / 3125.0 * 1000.0;

    const auto dir = korvane::testing::makeTempDir("korvane-bench");
    korvane::testing::BackgroundProcess sim({(kBin / "korvane-sim").string(), "--name", "BenchSim"});
    auto in = sim.waitForLine("device input: ", std::chrono::seconds(20));
    auto out = sim.waitForLine("device output: ", std::chrono::seconds(5));
    if (!in || !out) {
        state.SkipWithError(("simulator did not come up: " + sim.errors()).c_str());
        return;
    }
    double totalMs = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const auto r = korvane::testing::runProcess(
            {(kBin / "korvane").string(), "send", (kBin / "korvane.def").string(), kStandard, "--out", *in,
             "--in", *out},
            std::chrono::seconds(120));
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        if (r.exitCode != 0) {
            state.SkipWithError(("korvane send failed: " + r.err).c_str());
            break;
        }
        state.SetIterationTime(ms / 1000.0);
        totalMs += ms;
    }
    const double meanMs = state.iterations() ? totalMs / static_cast<double>(state.iterations()) : 0;
    state.counters["floor_ms"] = floorMs;
    state.counters["wall_ms"] = meanMs;
    state.counters["ratio"] = meanMs / floorMs;
    state.counters["stream_bytes"] = static_cast<double>(streamBytes);
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_SendAgainstSimulator)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
