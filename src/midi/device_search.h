#pragma once
// Finding the device among all MIDI ports: which input hears it and which
// output reaches it.
//
// A reply carries no trace of the port its question went out on, so the
// search runs in two rounds:
//   1. Ask on every output at once and listen on every input for
//      kListenMs. The inputs that heard an answer are those a device talks
//      on; no answer at all ends the search with nothing found.
//   2. Ask on the outputs one at a time, each until an answering input hears
//      the reply or a short wait (a few of the reply times the first round
//      saw) has passed. With only one question on its way, the answer names
//      the output. The round stops once every answering input has its output.
// The pairs found come in the order of the output listing.
//
// Time comes from outside (milliseconds of any monotonic clock) and nothing
// here waits: the host calls poll() from a timer, so a window stays
// responsive and a test runs on a fake clock. The inputs' callbacks run on
// the MIDI system's thread; they only count answers.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace korvane {

class MidiService;
class MidiInputConnection;
class MidiOutputConnection;

struct FoundDevice {
    std::string input;   // the port the device's answers arrive on
    std::string output;  // the port that reaches the device
    bool operator==(const FoundDevice&) const = default;
};

class DeviceSearch {
public:
    // How long the first round listens.
    static constexpr int kListenMs = 1000;
    // Bounds of the wait per output in the second round.
    static constexpr int kMinProbeMs = 100;
    static constexpr int kMaxProbeMs = 1000;

    using IsAnswer = std::function<bool(std::span<const std::uint8_t> message)>;

    // query goes out on the outputs; isAnswer tells a reply to it from any
    // other traffic (it runs on the MIDI system's thread). The service must
    // outlive the search.
    DeviceSearch(MidiService& service, std::vector<std::uint8_t> query, IsAnswer isAnswer);
    ~DeviceSearch();
    DeviceSearch(const DeviceSearch&) = delete;
    DeviceSearch& operator=(const DeviceSearch&) = delete;

    // Opens every listed port and asks on every output. Ports that cannot be
    // opened are left out and named in problems().
    void start(std::int64_t nowMs);
    // Takes the answers counted so far and moves on when a wait is over.
    // Returns true once the search has finished (all ports closed again).
    bool poll(std::int64_t nowMs);
    // Ends the search at once and closes every port it opened.
    void stop();

    bool running() const { return phase_ != Phase::Idle && phase_ != Phase::Done; }
    bool finished() const { return phase_ == Phase::Done; }
    const std::vector<FoundDevice>& found() const { return found_; }
    // Inputs that answered in the first round, whether or not an output was
    // found for them.
    const std::vector<std::string>& answeringInputs() const { return answering_; }
    // "name: reason" for every port that could not be opened or asked.
    const std::vector<std::string>& problems() const { return problems_; }
    // How many ports the search asked and listened on.
    std::size_t outputCount() const { return outputsAsked_; }
    std::size_t inputCount() const { return inputsHeard_; }

private:
    enum class Phase { Idle, Listening, Probing, Done };

    struct Input {
        std::string name;
        std::unique_ptr<MidiInputConnection> connection;
    };
    struct Output {
        std::string name;
        std::unique_ptr<MidiOutputConnection> connection;
    };

    bool ask(Output& output);
    void probeNext(std::int64_t nowMs);
    void finish();
    int answersOf(std::size_t input) const;

    MidiService& service_;
    std::vector<std::uint8_t> query_;
    IsAnswer isAnswer_;
    Phase phase_ = Phase::Idle;
    // Declared before the connections: the callbacks count into it until the
    // connections are gone.
    std::unique_ptr<std::atomic<int>[]> answers_;
    std::vector<Input> inputs_;
    std::vector<Output> outputs_;
    std::vector<int> seen_;          // answers per input when the current wait began
    std::vector<std::size_t> open_;  // answering inputs still without an output
    std::vector<std::string> answering_;
    std::vector<FoundDevice> found_;
    std::vector<std::string> problems_;
    std::size_t probe_ = 0;  // the output asked in the second round
    std::int64_t waitSinceMs_ = 0;
    std::int64_t firstAnswerMs_ = -1;  // first round: when the first answer was seen
    int probeMs_ = kMinProbeMs;
    std::size_t outputsAsked_ = 0;
    std::size_t inputsHeard_ = 0;
};

}  // namespace korvane
