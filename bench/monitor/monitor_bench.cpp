// A flood of short messages into the monitor through the whole input road
// (MIDI service, driver thread, input queue, window thread, record, view),
// with the window shown. The sender plays a MIDI system that hands over one
// burst per period, as JACK does once per cycle.
//
// Reported per run (the worst of the iterations):
//   arrival_ms   how long the sender took to hand over every message
//   catchup_ms   from the last message handed over until the view shows it
//   lost         messages that never reached the record
//   max_stall_ms the longest single turn of the window thread's event loop,
//                i.e. the longest time the window could not repaint

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCheckBox>
#include <QSpinBox>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#include "dialogs.h"
#include "form_midimon.h"
#include "midi_in.h"
#include "midi_out.h"
#include "midi_service.h"

#ifdef KORVANE_BIN_DIR
#include <optional>
#include <string>

#include "jack_server.h"
#include "process.h"
#endif

namespace {

using namespace korvane;
using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

struct Rig {
    std::unique_ptr<MidiService> service = createLoopbackService();
    std::unique_ptr<MidiOutputConnection> device;
    std::unique_ptr<TMidiInput> input;
    std::unique_ptr<TMidiOutput> output;
    std::unique_ptr<MidiInputConnection> deviceIn;
    std::unique_ptr<TFormMIDIMon> mon;

    Rig() {
        std::string error;
        device = service->openVirtualOutput("Flood Out", error);
        deviceIn = service->openVirtualInput(
            "Flood In", [](std::span<const std::uint8_t>, double) {}, error);
        input = std::make_unique<TMidiInput>(*service);
        output = std::make_unique<TMidiOutput>(*service);
        input->SetProductName("Flood Out");
        output->SetProductName("Flood In");
        input->Open();
        input->Start();
        output->Open();
        mon = std::make_unique<TFormMIDIMon>();
        mon->MIDIinput1 = input.get();
        mon->MIDIoutput1 = output.get();
        mon->BindInput();
        mon->chkTrennlinie->setChecked(false);  // one line per message, easy to count
        mon->show();
        QApplication::processEvents();
    }
    ~Rig() {
        mon.reset();
        input->Close();
    }
};

void BM_FloodOfShortMessages(benchmark::State& state) {
    const int total = int(state.range(0));
    const int burst = int(state.range(1));
    const auto period = std::chrono::microseconds(state.range(2));
    double arrival = 0, catchup = 0, stall = 0, lost = 0;
    for (auto _ : state) {
        Rig rig;
        std::atomic<bool> done{false};
        Clock::time_point start = Clock::now();
        Clock::time_point doneAt;
        std::thread sender([&] {
            auto next = Clock::now() + period;
            for (int i = 0; i < total; ++i) {
                const std::uint8_t m[3] = {std::uint8_t(0x90 | ((i >> 14) & 0x0F)),
                                           std::uint8_t((i >> 7) & 0x7F), std::uint8_t(i & 0x7F)};
                rig.device->send(m);
                if ((i + 1) % burst == 0) {
                    std::this_thread::sleep_until(next);
                    next += period;
                }
            }
            doneAt = Clock::now();
            done.store(true, std::memory_order_release);
        });
        double longest = 0;
        const auto giveUp = start + std::chrono::seconds(60);
        for (;;) {
            const auto t0 = Clock::now();
            QApplication::processEvents();
            const auto t1 = Clock::now();
            longest = std::max(longest, msSince(t0, t1));
            if (done.load(std::memory_order_acquire) && rig.input->MessageCount() == 0 &&
                rig.mon->viewUpToDate())
                break;
            if (t1 > giveUp) break;
        }
        const auto shown = Clock::now();
        sender.join();
        std::size_t received = 0;
        const auto& h = rig.mon->history();
        for (auto s = h.firstSeq(); s < h.endSeq(); ++s)
            if (h.at(s).kind == monitor::LineKind::Short) ++received;
        arrival = std::max(arrival, msSince(start, doneAt));
        catchup = std::max(catchup, msSince(doneAt, shown));
        stall = std::max(stall, longest);
        lost = std::max(lost, double(total) - double(received));
    }
    state.counters["arrival_ms"] = arrival;
    state.counters["catchup_ms"] = catchup;
    state.counters["max_stall_ms"] = stall;
    state.counters["lost"] = lost;
}
// 100 000 messages; 2000 per period of 5.333 ms (256 frames at 48 kHz), about
// 375 000 messages a second, and 4000 per 10.667 ms.
BENCHMARK(BM_FloodOfShortMessages)
    ->Args({100000, 2000, 5333})
    ->Args({100000, 4000, 10667})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

#ifdef KORVANE_BIN_DIR
// The same flood from korvane-sim over a private JACK server (dummy driver,
// 256 frames at 48 kHz): the real MIDI system and its bursts per cycle. The
// simulator sends as fast as JACK takes the messages, after answering the
// firmware-version question; catch-up counts from the moment it reports the
// last message handed over (seen within 5 ms).
void BM_FloodFromSimulatorOverJack(benchmark::State& state) {
    const int total = int(state.range(0));
    const std::string rate = std::to_string(state.range(1));
    std::string why;
    auto server = korvane::testing::JackServer::start(why);
    if (!server) {
        state.SkipWithError(why.c_str());
        return;
    }
    double arrival = 0, catchup = 0, stall = 0, lost = 0;
    int run = 0;
    for (auto _ : state) {
        const std::string name = "FloodSim" + std::to_string(run++);
        korvane::testing::BackgroundProcess sim({std::string(KORVANE_BIN_DIR) + "/korvane-sim", "--name",
                                                 name, "--flood", std::to_string(total), "--flood-rate",
                                                 rate});
        const auto simIn = sim.waitForLine("device input: ", std::chrono::seconds(20));
        const auto simOut = sim.waitForLine("device output: ", std::chrono::seconds(5));
        if (!simIn || !simOut) {
            state.SkipWithError("korvane-sim did not open its ports");
            return;
        }
        auto service = createRtMidiService("Flood Bench");
        TMidiInput input(*service);
        TMidiOutput output(*service);
        input.SetProductName(*simOut);
        output.SetProductName(*simIn);
        if (!input.Open() || !output.Open()) {
            state.SkipWithError("ports of korvane-sim could not be opened");
            return;
        }
        input.Start();
        TFormMIDIMon mon;
        mon.MIDIinput1 = &input;
        mon.MIDIoutput1 = &output;
        mon.BindInput();
        mon.chkTrennlinie->setChecked(false);
        mon.edHistoryLines->setValue(2 * total);  // the whole flood and the lines around it
        mon.show();
        QApplication::processEvents();

        const auto start = Clock::now();
        mon.btAskFirmwareVersionClick();
        double longest = 0;
        std::optional<Clock::time_point> sentAt;
        auto lastPoll = start;
        // The query, the reply and its bytes are three lines besides the flood.
        const std::size_t expected = std::size_t(total) + 3;
        for (;;) {
            const auto t0 = Clock::now();
            QApplication::processEvents();
            const auto t1 = Clock::now();
            longest = std::max(longest, msSince(t0, t1));
            if (!sentAt && t1 - lastPoll > std::chrono::milliseconds(5)) {
                lastPoll = t1;
                const std::string out = sim.output();
                const auto at = out.find("flood: ");
                if (at != std::string::npos) {
                    sentAt = t1;
                    const auto in = out.find(" sent in ", at);
                    if (in != std::string::npos) arrival = std::max(arrival, std::stod(out.substr(in + 9)));
                }
            }
            if (mon.history().size() >= expected && mon.viewUpToDate()) break;
            // Whatever was lost never comes: two seconds of nothing ends the run.
            if (sentAt && t1 - *sentAt > std::chrono::seconds(2) && input.MessageCount() == 0) break;
            if (t1 - start > std::chrono::seconds(60)) break;
        }
        const auto shown = Clock::now();
        std::size_t received = 0;
        const auto& h = mon.history();
        for (auto s = h.firstSeq(); s < h.endSeq(); ++s)
            if (h.at(s).kind == monitor::LineKind::Short) ++received;
        if (sentAt) catchup = std::max(catchup, msSince(*sentAt, shown));
        stall = std::max(stall, longest);
        lost = std::max(lost, double(total) - double(received));
        if (received < std::size_t(total))
            std::fprintf(stderr,
                         "flood over JACK: %zu of %d received, queue %u, history %zu, up to date %d, note "
                         "%s; simulator said:\n%s%s\n",
                         received, total, input.MessageCount(), h.size(), int(mon.viewUpToDate()),
                         h.size() ? h.at(h.endSeq() - 1).text.c_str() : "", sim.output().c_str(),
                         sim.errors().c_str());
        mon.hide();
        input.Close();
        output.Close();
        sim.stop();
    }
    state.counters["arrival_ms"] = arrival;
    state.counters["catchup_ms"] = catchup;
    state.counters["max_stall_ms"] = stall;
    state.counters["lost"] = lost;
}
BENCHMARK(BM_FloodFromSimulatorOverJack)
    ->Args({100000, 20000})
    ->Args({100000, 50000})
    ->Args({100000, 100000})
    ->Args({100000, 200000})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();
#endif

}  // namespace

int main(int argc, char** argv) {
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
