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
#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "dialogs.h"
#include "form_midimon.h"
#include "midi_in.h"
#include "midi_out.h"
#include "midi_service.h"

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
