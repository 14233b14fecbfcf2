// How long sending the 64-element configuration "Standard Tarvok NRPN" takes
// over a private JACK server, against the simulated device:
//
//   editor_send   the editor's windows in this process (offscreen), from the
//                 click on the send button until the button is restored
//   cli_send      "korvane send" as a program, from its start to its exit
//                 (process start, document load and port lookup included)
//
// Both are set against the protocol floor: the editor waits 20 ms after each
// packet before it asks again, and 250 ms after the store command and after
// the restart, and on a MIDI cable every byte of the exchange (both ways,
// since each step waits for the reply) takes 1/3125 s. JACK does not pace
// bytes, so a run over JACK can come in under the cable floor; the timer
// floor (the waits alone) is what JACK can reach at best.
//
// The device answers at once (no store or restart time), so the numbers show
// the editor and the transport, not the simulated device's own delays.

#include <benchmark/benchmark.h>
#include <sys/wait.h>

#include <QApplication>
#include <QSettings>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "editor_rig.h"
#include "form_main.h"
#include "form_midimon.h"
#include "jack_server.h"
#include "process.h"

namespace {

using namespace std::chrono_literals;
using korvane::e2e::EditorSession;
using korvane::e2e::SimulatedDevice;

const std::filesystem::path kBin = KORVANE_BIN_DIR;
const std::string kConfiguration = "Standard Tarvok NRPN";

constexpr double kCableBytesPerSecond = 3125.0;  // 31250 baud, ten bits a byte
constexpr double kPacketWaitS = 0.020;
constexpr double kStoreWaitS = 0.250;
constexpr std::size_t kQueryBytes = 4;  // F0 7D 07 F7
constexpr std::size_t kReplyBytes = 8;  // F0 7D 08 d1 d2 d3 d4 F7
constexpr std::size_t kStoreBytes = 4;  // F0 7D 03 F7
constexpr std::size_t kRestartBytes = 1;

struct Floor {
    int packets = 0;
    std::size_t bytes = 0;
    double timerS = 0;  // the waits alone
    double cableS = 0;  // the waits and every byte at cable speed
};

// The shortest exchange for a stream: query, query, then per packet the
// packet and (one wait later) a query, then store, query, restart, query;
// every query answered by one reply.
Floor protocolFloor(const korvane::ByteString& stream) {
    Floor f;
    for (std::uint8_t b : stream)
        if (b == 0xF7) ++f.packets;
    const std::size_t queries = 2 + std::size_t(f.packets) + 2;
    f.bytes = stream.size() + queries * (kQueryBytes + kReplyBytes) + kStoreBytes + kRestartBytes;
    f.timerS = f.packets * kPacketWaitS + 2 * kStoreWaitS;
    f.cableS = f.timerS + double(f.bytes) / kCableBytesPerSecond;
    return f;
}

std::string readText(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

struct Rig {
    std::filesystem::path home;
    std::unique_ptr<korvane::testing::JackServer> jack;
    std::unique_ptr<SimulatedDevice> sim;
    std::unique_ptr<EditorSession> editor;
    Floor floor;
    std::vector<double> editorTimes, cliTimes;
};

Rig* gRig = nullptr;

double mean(const std::vector<double>& v) {
    return v.empty() ? 0.0 : std::accumulate(v.begin(), v.end(), 0.0) / double(v.size());
}

void addFloorCounters(benchmark::State& state, double totalS) {
    using benchmark::Counter;
    state.counters["floor_s"] = gRig->floor.cableS;
    state.counters["timer_floor_s"] = gRig->floor.timerS;
    // Divided by the iterations: mean time over the floor.
    state.counters["x_floor"] = Counter(totalS / gRig->floor.cableS, Counter::kAvgIterations);
    state.counters["x_timer_floor"] = Counter(totalS / gRig->floor.timerS, Counter::kAvgIterations);
}

// One send from the editor: click to restored button. Seconds, or a
// negative value when the send did not end well.
double editorSendOnce(std::string& why) {
    EditorSession& editor = *gRig->editor;
    const int storesBefore = gRig->sim->state().stores;
    const auto start = std::chrono::steady_clock::now();
    editor.clickSend();
    const bool restored = korvane::e2e::runUntil([&] { return editor.sendControlsRestored(); }, 120s);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (!restored) {
        why = "the send button did not come back within 120 s";
        return -1;
    }
    if (editor.boxes().count() != 0) {
        why = "the editor showed a box: " + editor.boxes().shown().front().text.toStdString();
        return -1;
    }
    if (gRig->sim->state().stores != storesBefore + 1) {
        why = "the device did not store the configuration";
        return -1;
    }
    return took.count();
}

void editorSend(benchmark::State& state) {
    double total = 0;
    for (auto _ : state) {
        std::string why;
        const double s = editorSendOnce(why);
        if (s < 0) {
            state.SkipWithError(why.c_str());
            break;
        }
        state.SetIterationTime(s);
        gRig->editorTimes.push_back(s);
        total += s;
    }
    addFloorCounters(state, total);
}

void cliSend(benchmark::State& state) {
    double total = 0;
    const auto logs = gRig->home / "cli";
    for (auto _ : state) {
        const int storesBefore = gRig->sim->state().stores;
        const auto start = std::chrono::steady_clock::now();
        const pid_t pid = korvane::testing::spawnProcess(
            {(kBin / "korvane").string(), "send", (kBin / "korvane.def").string(), kConfiguration, "--out",
             gRig->sim->inputPort(), "--in", gRig->sim->outputPort()},
            logs.string() + ".out", logs.string() + ".err");
        int status = 0;
        const bool ended = pid > 0 && ::waitpid(pid, &status, 0) == pid;
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (!ended || !WIFEXITED(status) || WEXITSTATUS(status) != 0 ||
            gRig->sim->state().stores != storesBefore + 1) {
            const std::string why = "korvane send failed: " + readText(logs.string() + ".err");
            state.SkipWithError(why.c_str());
            break;
        }
        state.SetIterationTime(took.count());
        gRig->cliTimes.push_back(took.count());
        total += took.count();
    }
    addFloorCounters(state, total);
}

int fail(const std::string& why) {
    std::fprintf(stderr, "send_time_bench: %s\n", why.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");

    Rig rig;
    gRig = &rig;
    // The editor's documents, log and settings go to a folder of the run's
    // own, never to the user's.
    rig.home = korvane::testing::makeTempDir("korvane-send-bench");
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString((rig.home / "data").string()));
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString((rig.home / "config").string()));
    QApplication app(argc, argv);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString((rig.home / "config").string()));

    int result = 0;
    std::string why;
    rig.jack = korvane::testing::JackServer::start(why);
    if (!rig.jack) return fail(why);
    rig.sim =
        SimulatedDevice::start(kBin, rig.home / "device.json", {"--store-ms", "0", "--reset-ms", "0"}, why);
    if (!rig.sim) return fail(why);
    korvane::e2e::rememberInterfaces(rig.sim->outputPort(), rig.sim->inputPort());
    rig.editor = std::make_unique<EditorSession>(QString::fromStdString(kBin.string()));
    if (rig.editor->boxes().count() != 0)
        return fail("the editor's start-up showed: " +
                    rig.editor->boxes().shown().front().text.toStdString());
    if (!rig.editor->chooseConfiguration(QString::fromStdString(kConfiguration)))
        return fail("the editor's library has no configuration " + kConfiguration);

    // One send outside the measurement: the first one pays for the JACK
    // connections settling; it also gives the stream the floor is cut from.
    if (editorSendOnce(why) < 0) return fail(why);
    rig.floor = protocolFloor(rig.editor->monitor().SysExConfig());
    if (rig.floor.packets != 64)
        return fail("expected 64 packets, the editor sent " + std::to_string(rig.floor.packets));

    benchmark::RegisterBenchmark("editor_send", editorSend)
        ->Iterations(3)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("cli_send", cliSend)
        ->Iterations(3)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();

    const double editorS = mean(rig.editorTimes), cliS = mean(rig.cliTimes);
    std::printf(
        "\n%d packets, %zu bytes on the wire both ways\n"
        "protocol floor %.3f s (waits %.3f s + bytes %.3f s at %.0f bytes/s)\n",
        rig.floor.packets, rig.floor.bytes, rig.floor.cableS, rig.floor.timerS,
        rig.floor.cableS - rig.floor.timerS, kCableBytesPerSecond);
    if (editorS > 0)
        std::printf("editor       %.3f s  = %.2f x floor, %.2f x waits\n", editorS,
                    editorS / rig.floor.cableS, editorS / rig.floor.timerS);
    if (cliS > 0)
        std::printf("korvane send %.3f s  = %.2f x floor, %.2f x waits\n", cliS, cliS / rig.floor.cableS,
                    cliS / rig.floor.timerS);
    if (editorS > 0 && cliS > 0) std::printf("editor / korvane send = %.2f\n", editorS / cliS);
    if (editorS <= 0 || cliS <= 0) result = 1;

    rig.editor.reset();
    rig.sim.reset();
    rig.jack.reset();
    std::error_code ec;
    std::filesystem::remove_all(rig.home, ec);
    benchmark::Shutdown();
    return result;
}
