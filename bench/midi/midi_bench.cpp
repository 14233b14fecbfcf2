// Throughput of the input queue and the time from the driver thread's
// callback to the input handler on the user-interface thread (loopback).
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "midi_in.h"
#include "midi_service.h"
#include "midi_types.h"

using namespace korvane;

namespace {

void BM_QueuePutPeekRemove(benchmark::State& state) {
    TCircularBuffer* q = BufferCreate(1024);
    TMidiBufferItem in{1, 2, nullptr}, out;
    for (auto _ : state) {
        BufferPut(q, in);
        BufferPeek(q, out);
        BufferRemove(q);
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(state.iterations());
    BufferDispose(q);
}
BENCHMARK(BM_QueuePutPeekRemove);

// One writer thread, the benchmark thread reads: events per second through
// a queue of the input port's size.
void BM_QueueTwoThreads(benchmark::State& state) {
    constexpr std::uint32_t kBatch = 100000;
    for (auto _ : state) {
        TCircularBuffer* q = BufferCreate(1024);
        std::thread writer([q] {
            for (std::uint32_t i = 0; i < kBatch;)
                if (BufferPut(q, TMidiBufferItem{i, i, nullptr})) {
                    ++i;
                } else {
                    std::this_thread::yield();  // two cores shared: let the reader run
                }
        });
        std::uint32_t got = 0;
        TMidiBufferItem out;
        while (got < kBatch) {
            if (BufferPeek(q, out)) {
                BufferRemove(q);
                ++got;
            } else {
                std::this_thread::yield();
            }
        }
        writer.join();
        BufferDispose(q);
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_QueueTwoThreads)->UseRealTime();

// What the driver thread spends walking one delivered message into single
// messages before it queues them: a SysEx as large as one input buffer, a
// reply glued behind a SysEx that lost its F7, and a run of nine short
// messages (the monitor's volume buttons).
void BM_ScanDeliveredBytes(benchmark::State& state) {
    std::vector<std::uint8_t> bytes;
    switch (state.range(0)) {
        case 0:
            bytes.assign(4096, 0x05);
            bytes.front() = 0xF0;
            bytes.back() = 0xF7;
            break;
        case 1:
            bytes = {0xF0, 0x7D, 0x01, 0x02, 0xF0, 0x7D, 0x08, 0x00, 0x03, 0x00, 0x04, 0xF7};
            break;
        default:
            for (std::uint8_t ch = 0; ch < 9; ++ch)
                bytes.insert(bytes.end(), {std::uint8_t(0xB0 + ch), 7, 0x40});
            break;
    }
    for (auto _ : state) {
        std::size_t pieces = 0;
        scanMidiMessages(bytes, [&](const MidiPiece& p) { pieces += p.isShort ? 1 : p.sysex.size(); });
        benchmark::DoNotOptimize(pieces);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations() * bytes.size()));
}
BENCHMARK(BM_ScanDeliveredBytes)->Arg(0)->Arg(1)->Arg(2);

// A Note On sent on a "driver" thread until the port's OnMidiInput runs on
// this (the user-interface) thread.
void BM_CallbackToUiThread(benchmark::State& state) {
    auto service = createLoopbackService();
    std::string error;
    auto device = service->openVirtualOutput("bench", error);
    TMidiInput in(*service);
    in.SetProductName("bench");
    in.Open();
    in.Start();

    using Clock = std::chrono::steady_clock;
    std::atomic<Clock::rep> sentAt{0};
    bool handled = false;
    Clock::time_point handledAt;
    in.OnMidiInput = [&](TMidiInput* port) {
        handledAt = Clock::now();
        while (auto e = port->GetMidiEvent()) benchmark::DoNotOptimize(e);
        handled = true;
    };

    std::mutex m;
    std::condition_variable cv;
    int go = 0;
    bool quit = false;
    std::thread driver([&] {
        int seen = 0;
        for (;;) {
            std::unique_lock lock(m);
            cv.wait(lock, [&] { return quit || go != seen; });
            if (quit) return;
            seen = go;
            lock.unlock();
            sentAt.store(Clock::now().time_since_epoch().count());
            const std::uint8_t note[] = {0x90, 0x3C, 0x64};
            device->send(note);
        }
    });

    for (auto _ : state) {
        handled = false;
        {
            std::lock_guard lock(m);
            ++go;
        }
        cv.notify_one();
        while (!handled) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const auto sent = Clock::time_point(Clock::duration(sentAt.load()));
        state.SetIterationTime(std::chrono::duration<double>(handledAt - sent).count());
    }
    {
        std::lock_guard lock(m);
        quit = true;
    }
    cv.notify_one();
    driver.join();
}
BENCHMARK(BM_CallbackToUiThread)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
