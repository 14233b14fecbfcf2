// korvane-sim: a stand-in for the surface on the MIDI system of this machine.
// It opens one virtual input and one virtual output port and answers like the
// device does; what it stores can be written to a JSON file after every store
// and restart, so tests can compare it with what was sent.

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include "file_io.h"
#include "korvane_device.h"
#include "midi_service.h"
#include "texts.h"

namespace {

using namespace korvane;

constexpr std::string_view kLanguage = "en";

std::atomic<bool> gStop{false};

void onSignal(int) { gStop = true; }

std::int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

struct Options {
    std::string name = "Korvane";
    DeviceOptions device;
    std::string stateFile;
    bool verbose = false;
    int flood = 0;      // short messages sent after the first version reply
    int floodRate = 0;  // messages a second; 0: as fast as the output takes them
};

std::optional<int> parseCount(const std::string& text) {
    try {
        std::size_t used = 0;
        const int v = std::stoi(text, &used);
        if (used != text.size() || v < 0) return std::nullopt;
        return v;
    } catch (...) {
        return std::nullopt;
    }
}

// Messages from the backend thread to the main loop.
class Inbox {
public:
    void push(std::vector<std::uint8_t> bytes) {
        {
            std::lock_guard lock(mutex_);
            queue_.push_back(std::move(bytes));
        }
        ready_.notify_one();
    }
    std::deque<std::vector<std::uint8_t>> waitAndTake(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        ready_.wait_for(lock, timeout, [&] { return !queue_.empty(); });
        return std::exchange(queue_, {});
    }

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::vector<std::uint8_t>> queue_;
};

int usageError(const std::string& message) {
    std::cerr << "korvane-sim: " << message << "\n" << text("sim.seeHelp", kLanguage) << "\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    Options opt;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= argc) return std::nullopt;
            return std::string(argv[++i]);
        };
        auto count = [&](int& target) -> bool {
            auto v = value();
            auto n = v ? parseCount(*v) : std::nullopt;
            if (!n) return false;
            target = *n;
            return true;
        };
        if (arg == "--help" || arg == "-h") {
            std::cout << text("sim.help", kLanguage) << text("readback.sim.help", kLanguage);
            return 0;
        } else if (arg == "--name") {
            auto v = value();
            if (!v || v->empty()) return usageError(textWith("sim.needsValue", kLanguage, arg));
            opt.name = *v;
        } else if (arg == "--version") {
            auto v = value();
            if (!v) return usageError(textWith("sim.needsValue", kLanguage, arg));
            opt.device.version = *v;
        } else if (arg == "--state") {
            auto v = value();
            if (!v || v->empty()) return usageError(textWith("sim.needsValue", kLanguage, arg));
            opt.stateFile = *v;
        } else if (arg == "--no-reply") {
            opt.device.noReply = true;
        } else if (arg == "--flood") {
            if (!count(opt.flood)) return usageError(textWith("sim.needsCount", kLanguage, arg));
        } else if (arg == "--flood-rate") {
            if (!count(opt.floodRate)) return usageError(textWith("sim.needsCount", kLanguage, arg));
        } else if (arg == "--no-end-marker") {
            opt.device.dumpEndMarker = false;
        } else if (arg == "--verbose") {
            opt.verbose = true;
        } else if (arg == "--ignore-queries") {
            if (!count(opt.device.ignoreQueries))
                return usageError(textWith("sim.needsCount", kLanguage, arg));
        } else if (arg == "--reply-delay-ms") {
            if (!count(opt.device.replyDelayMs))
                return usageError(textWith("sim.needsCount", kLanguage, arg));
        } else if (arg == "--store-ms") {
            if (!count(opt.device.storeMs)) return usageError(textWith("sim.needsCount", kLanguage, arg));
        } else if (arg == "--reset-ms") {
            if (!count(opt.device.resetMs)) return usageError(textWith("sim.needsCount", kLanguage, arg));
        } else {
            return usageError(textWith("sim.unknownOption", kLanguage, arg));
        }
    }

    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);

    // What the MIDI systems print themselves is shown only with --verbose.
    if (opt.verbose)
        setMidiConsoleHandler([](const std::string& line) { std::cerr << "midi: " << line << "\n"; });
    auto service = createRtMidiService(opt.name);
    service->setErrorHandler(
        [](const std::string& message) { std::cerr << "korvane-sim: " << message << "\n"; });

    Inbox inbox;
    std::string error;
    auto input = service->openVirtualInput(
        opt.name,
        [&inbox](std::span<const std::uint8_t> bytes, double) {
            // The MIDI system may hand over a SysEx that lost its F7 glued to
            // what came after it; the device sees each message on its own.
            for (auto& message : splitMidiMessages(bytes)) inbox.push(std::move(message));
        },
        error);
    if (!input) {
        std::cerr << textWith("sim.noPorts", kLanguage, error) << "\n";
        return 1;
    }
    auto output = service->openVirtualOutput(opt.name, error);
    if (!output) {
        std::cerr << textWith("sim.noPorts", kLanguage, error) << "\n";
        return 1;
    }

    KorvaneDevice device(opt.device, [&](const std::string& line) {
        if (opt.verbose || line.rfind("rejected", 0) == 0) std::cerr << "korvane-sim: " << line << "\n";
    });

    auto writeState = [&] {
        if (opt.stateFile.empty()) return;
        // The same atomic write as the editor's documents (flushed to disk,
        // then renamed over the old state): a script reading the state never
        // sees half a file, not even after a crash of the machine.
        const std::string error = korvane::detail::writeFileAtomically(opt.stateFile, device.stateJson());
        if (!error.empty())
            std::cerr << textWith("sim.stateWriteFailed", kLanguage, opt.stateFile) << " (" << error << ")\n";
    };
    writeState();

    // The two lines tell a script which names to open from the other side.
    std::cout << "device input: " << input->name() << "\n"
              << "device output: " << output->name() << "\n"
              << "ready" << std::endl;

    // The flood: numbered Note On messages (channel, key and velocity hold
    // the number, so a receiver can check that none is missing or out of
    // order), as fast as the MIDI system takes them. A full output buffer is
    // waited out, not skipped: every message goes out.
    auto sendFlood = [&] {
        const auto start = std::chrono::steady_clock::now();
        int refusals = 0;
        for (int i = 0; i < opt.flood && !gStop;) {
            // A MIDI system takes only so much per period and drops the rest
            // without telling the sender; a rate keeps the flood below that.
            if (opt.floodRate > 0 && i % 16 == 0)
                std::this_thread::sleep_until(
                    start + std::chrono::microseconds(std::int64_t(i) * 1000000 / opt.floodRate));
            const std::uint8_t m[3] = {std::uint8_t(0x90 | ((i >> 14) & 0x0F)), std::uint8_t((i >> 7) & 0x7F),
                                       std::uint8_t(i & 0x7F)};
            if (output->send(m, &error)) {
                ++i;
                refusals = 0;
                continue;
            }
            if (++refusals > 5000) {  // five seconds without progress
                std::cerr << "korvane-sim: flood stopped after " << i << " messages: " << error << "\n";
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
                .count();
        std::cout << "flood: " << opt.flood << " messages sent in " << ms << " ms" << std::endl;
    };
    bool floodDone = opt.flood == 0;

    while (!gStop) {
        std::chrono::milliseconds wait(100);
        if (auto due = device.nextDueMs())
            wait = std::chrono::milliseconds(std::clamp<std::int64_t>(*due - nowMs(), 0, 100));
        for (auto& message : inbox.waitAndTake(wait)) {
            if (opt.verbose) std::cout << "<- " << HexBytes(message) << std::endl;
            device.receive(message, nowMs());
        }
        bool answered = false;
        for (const auto& reply : device.takeDue(nowMs())) {
            if (opt.verbose) std::cout << "-> " << HexBytes(reply) << std::endl;
            if (!output->send(reply, &error)) std::cerr << "korvane-sim: " << error << "\n";
            answered = answered || (reply.size() > 2 && reply[2] == 0x08);
        }
        if (answered && !floodDone) {
            floodDone = true;
            sendFlood();
        }
        if (device.takeStateChanged()) writeState();
    }
    return 0;
}
