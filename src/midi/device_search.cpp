#include "device_search.h"

#include <algorithm>

#include "midi_service.h"

namespace korvane {

DeviceSearch::DeviceSearch(MidiService& service, std::vector<std::uint8_t> query, IsAnswer isAnswer)
    : service_(service), query_(std::move(query)), isAnswer_(std::move(isAnswer)) {}

DeviceSearch::~DeviceSearch() { stop(); }

void DeviceSearch::start(std::int64_t nowMs) {
    stop();
    found_.clear();
    answering_.clear();
    problems_.clear();
    firstAnswerMs_ = -1;

    const std::vector<std::string> inputNames = service_.inputPortNames();
    answers_ = std::make_unique<std::atomic<int>[]>(inputNames.size());
    // Two interfaces of one name are opened each by its rank among them.
    std::vector<std::string> openedNames;
    for (std::size_t i = 0; i < inputNames.size(); ++i) {
        const std::string& name = inputNames[i];
        const auto rank = std::size_t(std::count(openedNames.begin(), openedNames.end(), name));
        openedNames.push_back(name);
        std::string error;
        std::atomic<int>* counter = &answers_[i];
        auto connection = service_.openInput(
            name,
            [counter, isAnswer = isAnswer_](std::span<const std::uint8_t> bytes, double) {
                if (isAnswer(bytes)) counter->fetch_add(1, std::memory_order_relaxed);
            },
            error, rank);
        if (!connection) problems_.push_back(name + ": " + error);
        // Kept with an empty connection too, so the counters keep their index.
        inputs_.push_back({name, std::move(connection)});
    }
    openedNames.clear();
    for (const std::string& name : service_.outputPortNames()) {
        const auto rank = std::size_t(std::count(openedNames.begin(), openedNames.end(), name));
        openedNames.push_back(name);
        std::string error;
        auto connection = service_.openOutput(name, error, rank);
        if (!connection) {
            problems_.push_back(name + ": " + error);
            continue;
        }
        outputs_.push_back({name, std::move(connection)});
    }

    outputsAsked_ = outputs_.size();
    inputsHeard_ = std::size_t(std::count_if(inputs_.begin(), inputs_.end(),
                                             [](const Input& in) { return in.connection != nullptr; }));
    phase_ = Phase::Listening;
    waitSinceMs_ = nowMs;
    seen_.assign(inputs_.size(), 0);
    for (Output& output : outputs_) ask(output);
    if (outputs_.empty() || inputs_.empty()) finish();
}

bool DeviceSearch::ask(Output& output) {
    std::string error;
    if (output.connection->send(query_, &error)) return true;
    problems_.push_back(output.name + ": " + error);
    return false;
}

int DeviceSearch::answersOf(std::size_t input) const {
    return answers_[input].load(std::memory_order_relaxed);
}

bool DeviceSearch::poll(std::int64_t nowMs) {
    switch (phase_) {
        case Phase::Idle:
        case Phase::Done:
            return finished();
        case Phase::Listening: {
            if (firstAnswerMs_ < 0) {
                for (std::size_t i = 0; i < inputs_.size(); ++i)
                    if (answersOf(i) > 0) firstAnswerMs_ = nowMs;
            }
            if (nowMs - waitSinceMs_ < kListenMs) return false;
            for (std::size_t i = 0; i < inputs_.size(); ++i) {
                if (answersOf(i) == 0) continue;
                open_.push_back(i);
                answering_.push_back(inputs_[i].name);
            }
            if (open_.empty()) {
                finish();
                return true;
            }
            // A few reply times, so a device that answered late in the first
            // round is still heard; bounded so that silent outputs cost little.
            const std::int64_t replyMs = firstAnswerMs_ - waitSinceMs_;
            probeMs_ = int(std::clamp<std::int64_t>(3 * replyMs + 50, kMinProbeMs, kMaxProbeMs));
            phase_ = Phase::Probing;
            probe_ = 0;
            probeNext(nowMs);
            return finished();
        }
        case Phase::Probing: {
            bool heard = false;
            for (auto it = open_.begin(); it != open_.end();) {
                if (answersOf(*it) > seen_[*it]) {
                    found_.push_back({inputs_[*it].name, outputs_[probe_].name});
                    it = open_.erase(it);
                    heard = true;
                } else {
                    ++it;
                }
            }
            if (!heard && nowMs - waitSinceMs_ < probeMs_) return false;
            ++probe_;
            probeNext(nowMs);
            return finished();
        }
    }
    return finished();
}

void DeviceSearch::probeNext(std::int64_t nowMs) {
    while (probe_ < outputs_.size() && !open_.empty()) {
        for (std::size_t i = 0; i < inputs_.size(); ++i) seen_[i] = answersOf(i);
        waitSinceMs_ = nowMs;
        if (ask(outputs_[probe_])) return;
        ++probe_;
    }
    finish();
}

void DeviceSearch::finish() {
    stop();
    phase_ = Phase::Done;
}

void DeviceSearch::stop() {
    // The connections go first: once they are closed no callback counts any more.
    inputs_.clear();
    outputs_.clear();
    answers_.reset();
    open_.clear();
    if (phase_ != Phase::Done) phase_ = Phase::Idle;
}

}  // namespace korvane
