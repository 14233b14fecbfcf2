#include "device_fetch.h"

#include <gtest/gtest.h>

#include <optional>

namespace korvane {
namespace {

const ByteString kQuery{0xF0, 0x7D, 0x07, 0xF7};
const ByteString kRequest02{0xF0, 0x7D, 0x02, 0xF7};
const ByteString kRequest06{0xF0, 0x7D, 0x06, 0xF7};
const ByteString kVersion0304{0xF0, 0x7D, 0x08, 0, 3, 0, 4, 0xF7};
const ByteString kVersion0302{0xF0, 0x7D, 0x08, 0, 3, 0, 2, 0xF7};
const ByteString kVersion0201{0xF0, 0x7D, 0x08, 0, 2, 0, 1, 0xF7};

ByteString stored(int n) {
    return BuildDataPacket(0x02, {static_cast<std::uint8_t>(n), 1, 0, 0, 0, 0, 0, 0, 0, 0, 0x90, 0xFE, 0xFE});
}

// A host with a fake clock: the timer only records its state, time moves
// when the test says so.
class FakeHost : public FetchHost {
public:
    std::vector<ByteString> sent;
    bool timerRunning = false;
    std::int64_t now = 1000;
    bool transfer = false;
    bool portTakes = true;
    std::vector<FetchResult> results;

    bool MidiSend(const ByteString& bytes) override {
        sent.push_back(bytes);
        return portTakes;
    }
    void startTimer(int intervalMs) override {
        EXPECT_EQ(intervalMs, TDeviceFetch::kTickMs);
        timerRunning = true;
    }
    void stopTimer() override { timerRunning = false; }
    std::int64_t nowMs() override { return now; }
    bool transferRunning() override { return transfer; }
    void fetchFinished(const FetchResult& result) override { results.push_back(result); }
};

// One step of a scenario.
struct Event {
    enum Kind { Start, Reply, Wait, TransferStarts } kind;
    ByteString bytes{};  // Reply
    int ms = 0;          // Wait: time passes in ticks of the timer
    bool taken = true;   // Reply: whether the fetch takes the message
};
Event start() { return {Event::Start}; }
Event reply(ByteString b, bool taken = true) { return {Event::Reply, std::move(b), 0, taken}; }
Event wait(int ms) { return {Event::Wait, {}, ms}; }

TEST(DeviceFetch, Scenarios) {
    using O = FetchResult::Outcome;
    struct Case {
        const char* what;
        DumpKind kind;
        std::vector<Event> events;
        std::vector<ByteString> sent;
        std::optional<O> outcome;  // nullopt: still running at the end
        int packets = 0;
    };
    const Case cases[] = {
        {"a dump up to its end marker",
         DumpKind::Configuration,
         {start(), reply(kVersion0304), reply(stored(0)), reply(stored(12)), reply(kRequest02)},
         {kQuery, kRequest02},
         O::Complete,
         2},
        {"the older firmware is served too",
         DumpKind::Configuration,
         {start(), reply(kVersion0302), reply(kRequest02)},
         {kQuery, kRequest02},
         O::Complete,
         0},
        {"motor profiles",
         DumpKind::MotorProfiles,
         {start(), reply(kVersion0304), reply(kRequest06)},
         {kQuery, kRequest06},
         O::Complete,
         0},
        {"the tail of an earlier dump is no answer",
         DumpKind::Configuration,
         {start(), reply(stored(3), false), reply(kRequest02, false), reply(kVersion0304), reply(kRequest02)},
         {kQuery, kRequest02},
         O::Complete,
         0},
        {"a silent device: not before the time-out",
         DumpKind::Configuration,
         {start(), wait(TDeviceFetch::kVersionTimeoutMs - TDeviceFetch::kTickMs)},
         {kQuery},
         std::nullopt},
        {"a silent device: at the time-out",
         DumpKind::Configuration,
         {start(), wait(TDeviceFetch::kVersionTimeoutMs)},
         {kQuery},
         O::NoAnswer},
        {"an unknown firmware",
         DumpKind::Configuration,
         {start(), reply(kVersion0201)},
         {kQuery},
         O::UnsupportedVersion},
        {"a dump that keeps coming is waited for",
         DumpKind::Configuration,
         {start(), reply(kVersion0304), wait(2000), reply(stored(1)), wait(2000), reply(stored(2)),
          wait(2000)},
         {kQuery, kRequest02},
         std::nullopt,
         0},
        {"a dump without end marker",
         DumpKind::Configuration,
         {start(), reply(kVersion0304), reply(stored(1)), wait(TDeviceFetch::kDumpQuietTimeoutMs)},
         {kQuery, kRequest02},
         O::NoEndMarker,
         1},
        {"no dump at all",
         DumpKind::Configuration,
         {start(), reply(kVersion0304), wait(TDeviceFetch::kDumpQuietTimeoutMs)},
         {kQuery, kRequest02},
         O::NoEndMarker,
         0},
        {"a reply in another format",
         DumpKind::Configuration,
         {start(), reply(kVersion0304), reply({0xF0, 0x7D, 0x02, 0x40, 0x41, 0xF7})},
         {kQuery, kRequest02},
         O::NotRecognised,
         0},
        {"a transfer started meanwhile",
         DumpKind::Configuration,
         {start(), reply(kVersion0304), {Event::TransferStarts}, wait(TDeviceFetch::kTickMs)},
         {kQuery, kRequest02},
         O::Interrupted,
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeHost host;
        TDeviceFetch fetch(host);
        for (const auto& e : c.events) {
            switch (e.kind) {
                case Event::Start:
                    EXPECT_EQ(fetch.start(c.kind), TDeviceFetch::Start::Started);
                    break;
                case Event::Reply:
                    EXPECT_EQ(fetch.onSysEx(e.bytes), e.taken) << HexBytes(e.bytes);
                    break;
                case Event::Wait:
                    for (int t = 0; t < e.ms && host.timerRunning; t += TDeviceFetch::kTickMs) {
                        host.now += TDeviceFetch::kTickMs;
                        fetch.onTimer();
                    }
                    break;
                case Event::TransferStarts:
                    host.transfer = true;
                    break;
            }
        }
        EXPECT_EQ(host.sent, c.sent);
        if (!c.outcome) {
            EXPECT_TRUE(fetch.running());
            EXPECT_TRUE(host.results.empty());
            continue;
        }
        EXPECT_FALSE(fetch.running());
        EXPECT_FALSE(host.timerRunning);
        ASSERT_EQ(host.results.size(), 1u);
        EXPECT_EQ(outcomeName(host.results[0].outcome), outcomeName(*c.outcome)) << host.results[0].detail;
        EXPECT_EQ(host.results[0].kind, c.kind);
        EXPECT_EQ(static_cast<int>(host.results[0].dump.packets.size()), c.packets);
    }
}

TEST(DeviceFetch, DoesNotStartOverATransferOrItself) {
    FakeHost host;
    TDeviceFetch fetch(host);
    host.transfer = true;
    EXPECT_EQ(fetch.start(DumpKind::Configuration), TDeviceFetch::Start::TransferRunning);
    EXPECT_TRUE(host.sent.empty());
    EXPECT_FALSE(fetch.running());

    host.transfer = false;
    EXPECT_EQ(fetch.start(DumpKind::Configuration), TDeviceFetch::Start::Started);
    EXPECT_EQ(fetch.start(DumpKind::MotorProfiles), TDeviceFetch::Start::AlreadyRunning);
    EXPECT_EQ(host.sent.size(), 1u);

    // Cancelled, it reports nothing and takes no more replies.
    fetch.cancel();
    EXPECT_FALSE(fetch.running());
    EXPECT_FALSE(host.timerRunning);
    EXPECT_FALSE(fetch.onSysEx(kVersion0304));
    EXPECT_TRUE(host.results.empty());
}

TEST(DeviceFetch, APortThatRefusesEndsTheFetchAtOnce) {
    struct Case {
        const char* what;
        bool refuseQuery;
    };
    for (const Case c : {Case{"the query", true}, Case{"the request", false}}) {
        SCOPED_TRACE(c.what);
        FakeHost host;
        TDeviceFetch fetch(host);
        host.portTakes = !c.refuseQuery;
        EXPECT_EQ(fetch.start(DumpKind::Configuration), TDeviceFetch::Start::Started);
        if (!c.refuseQuery) {
            host.portTakes = false;
            fetch.onSysEx(kVersion0304);
        }
        ASSERT_EQ(host.results.size(), 1u);
        EXPECT_EQ(host.results[0].outcome, FetchResult::Outcome::SendFailed);
        EXPECT_FALSE(fetch.running());
        EXPECT_FALSE(host.timerRunning);
    }
}

}  // namespace
}  // namespace korvane
