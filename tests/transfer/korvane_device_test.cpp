#include "korvane_device.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>

#include "transfer_state_machine.h"

namespace korvane {
namespace {

const ByteString kQuery{0xF0, 0x7D, 0x07, 0xF7};
const ByteString kReply0304{0xF0, 0x7D, 0x08, 0, 3, 0, 4, 0xF7};

ByteString configPacket(std::uint8_t element, std::uint8_t extra = 0xB0) {
    return BuildDataPacket(0x01, ByteString{element, 14, 0, 0, 0xFF, 0xFF, 1, 0, 0, 0, extra, 0xFE, 0xFE});
}

TEST(KorvaneDevice, AnswersQueriesUnlessBusyAndHonoursTheDelay) {
    DeviceOptions options;
    options.replyDelayMs = 30;
    KorvaneDevice device(options);
    device.receive(kQuery, 1000);
    EXPECT_TRUE(device.takeDue(1029).empty());
    EXPECT_EQ(device.nextDueMs(), 1030);
    EXPECT_EQ(device.takeDue(1030), std::vector<ByteString>{kReply0304});

    device.receive(CommandPacket(0x03), 2000);  // store: busy for 100 ms
    device.receive(kQuery, 2099);
    EXPECT_TRUE(device.takeDue(5000).empty()) << "a storing device does not listen";
    device.receive(kQuery, 2100);
    EXPECT_EQ(device.takeDue(5000).size(), 1u);

    device.receive(ByteString{0xFF}, 6000);  // restart: busy for 500 ms
    device.receive(kQuery, 6499);
    device.receive(kQuery, 6500);
    EXPECT_EQ(device.takeDue(9000).size(), 1u);

    KorvaneDevice silent(DeviceOptions{.noReply = true});
    silent.receive(kQuery, 0);
    EXPECT_FALSE(silent.nextDueMs().has_value());

    KorvaneDevice older(DeviceOptions{.version = "03.02"});
    older.receive(kQuery, 0);
    EXPECT_EQ(VersionText(older.takeDue(0).at(0)), "03.02");
}

TEST(KorvaneDevice, IgnoresTheFirstQueriesAfterEachOtherMessage) {
    KorvaneDevice device(DeviceOptions{.ignoreQueries = 2});
    auto answered = [&](std::int64_t t) {
        device.receive(kQuery, t);
        return !device.takeDue(t).empty();
    };
    EXPECT_TRUE(answered(0)) << "nothing received yet: nothing to ignore";
    for (const ByteString& other : {configPacket(4), CommandPacket(0x02)}) {
        device.receive(other, 10);
        device.takeDue(10);
        EXPECT_FALSE(answered(20));
        EXPECT_FALSE(answered(40));
        EXPECT_TRUE(answered(60)) << HexBytes(other);
        EXPECT_TRUE(answered(80));
    }
    device.receive(ByteString{0xB0, 0x07, 0x10}, 100);  // a fader move is no packet
    EXPECT_TRUE(answered(120));
}

TEST(KorvaneDevice, ValidatesPacketsAndStoresOnlyGoodOnes) {
    KorvaneDevice device(DeviceOptions{});
    ByteString badChecksum = configPacket(2);
    badChecksum[badChecksum.size() - 2] ^= 0x01;
    ByteString badNibble = configPacket(3);
    badNibble[5] = 0x10;
    const ByteString badElement = BuildDataPacket(0x01, ByteString{64, 14, 0xFE});
    const ByteString emptyPayload = BuildDataPacket(0x01, {});

    device.receive(configPacket(5, 0xB1), 0);
    device.receive(configPacket(1), 0);
    device.receive(configPacket(5, 0xB2), 0);  // replaces the earlier packet of element 5
    for (const auto& bad : {badChecksum, badNibble, badElement, emptyPayload}) device.receive(bad, 0);
    EXPECT_EQ(device.rejected(), 4);
    EXPECT_TRUE(device.storedConfiguration().empty()) << "nothing is stored before the store command";

    device.receive(CommandPacket(0x03), 10);
    ASSERT_EQ(device.storedConfiguration().size(), 2u);
    EXPECT_EQ(device.storedConfiguration().at(5), configPacket(5, 0xB2));
    EXPECT_EQ(device.stores(), 1);
    EXPECT_TRUE(device.takeStateChanged());
    EXPECT_FALSE(device.takeStateChanged());

    // A restart forgets unsaved packets but keeps the stored configuration.
    device.receive(configPacket(7), 200);
    device.receive(ByteString{0xFF}, 200);
    EXPECT_TRUE(device.receivedConfiguration().empty());
    EXPECT_EQ(device.storedConfiguration().size(), 2u);
    EXPECT_EQ(device.resets(), 1);
    EXPECT_TRUE(device.takeStateChanged());

    // A store with nothing received since the restart leaves an empty configuration.
    device.receive(CommandPacket(0x03), 1000);
    EXPECT_TRUE(device.storedConfiguration().empty());

    const std::string json = device.stateJson();
    EXPECT_NE(json.find("\"configuration\": []"), std::string::npos) << json;
    EXPECT_NE(json.find("\"stores\": 2"), std::string::npos) << json;
    EXPECT_NE(json.find("\"resets\": 1"), std::string::npos) << json;
    EXPECT_NE(json.find("\"rejected\": 4"), std::string::npos) << json;
}

TEST(KorvaneDevice, ProfilesDumpsAndFaders) {
    KorvaneDevice device(DeviceOptions{});
    const ByteString profile = BuildDataPacket(0x04, ByteString{8, 100, 100, 0xFF, 8});
    device.receive(profile, 0);
    device.receive(configPacket(0), 0);
    EXPECT_TRUE(device.takeDue(0).empty()) << "profiles and packets get no answer";
    device.receive(CommandPacket(0x05), 0);
    device.receive(CommandPacket(0x03), 0);  // busy: lost
    EXPECT_EQ(device.profileStores(), 1);
    EXPECT_EQ(device.stores(), 0);
    device.receive(CommandPacket(0x03), 100);

    device.receive(CommandPacket(0x06), 300);
    ByteString relabelled = profile;
    relabelled[2] = 0x06;
    EXPECT_EQ(device.takeDue(300), (std::vector<ByteString>{relabelled, CommandPacket(0x06)}));
    device.receive(CommandPacket(0x02), 300);
    EXPECT_EQ(device.takeDue(300).size(), 2u);

    device.receive(ByteString{0xB8, 0x07, 0x40}, 300);
    device.receive(ByteString{0xB9, 0x07, 0x7F}, 300);  // channel 10: no fader
    EXPECT_EQ(device.faderValue(8), 0x40);
    for (int f = 0; f < 8; ++f) EXPECT_EQ(device.faderValue(f), 0);
}

// Garbage from the wire must neither crash the codec nor end up stored.
TEST(KorvaneDevice, RandomTrafficNeverStoresABadPacket) {
    std::mt19937 rng(20261209);
    auto byte = [&](int lo, int hi) {
        return static_cast<std::uint8_t>(std::uniform_int_distribution<int>(lo, hi)(rng));
    };
    KorvaneDevice device(DeviceOptions{.storeMs = 0, .resetMs = 0});
    for (int i = 0; i < 20000; ++i) {
        ByteString payload(byte(0, 12));
        for (auto& b : payload) b = byte(0, 255);
        ByteString message = BuildDataPacket(byte(0, 8), payload);
        // Damage about half of them: any byte, the length, or the end marker.
        switch (byte(0, 5)) {
            case 0:
                message[byte(0, static_cast<int>(message.size()) - 1)] ^= byte(1, 255);
                break;
            case 1:
                message.resize(byte(0, static_cast<int>(message.size())));
                break;
            case 2:
                message.push_back(byte(0, 255));
                break;
            default:
                break;
        }
        EXPECT_EQ(DecodeDataPacket(BuildDataPacket(0x01, payload)).payload, payload);
        device.receive(message, i);
        device.takeDue(i);
        if (i % 50 == 0) device.receive(CommandPacket(0x03), i);
    }
    EXPECT_GT(device.rejected(), 0);
    EXPECT_FALSE(device.storedConfiguration().empty());
    for (const auto& [element, packet] : device.storedConfiguration()) {
        const DecodedPacket decoded = DecodeDataPacket(packet);
        EXPECT_EQ(decoded.fault, PacketFault::None) << HexBytes(packet);
        EXPECT_EQ(decoded.payload.at(0), element);
    }
}

// The state machine and the simulated device on one fake clock. Time jumps
// from one event to the next (a reply falling due, a timer tick), so a
// transfer that waits minutes costs microseconds.
struct Loop : TransferHost {
    explicit Loop(DeviceOptions options) : device(options) {}
    KorvaneDevice device;
    TTransferStateMachine machine{*this};
    std::int64_t now = 0, interval = 0, nextTick = -1;
    int finished = 0, failures = 0, queries = 0;
    std::vector<TransferFailure> failureKinds;
    // The device goes away (cable pulled, simulator killed) when the transfer
    // reaches this stage: from then on nothing reaches it and nothing comes back.
    std::optional<TransferStage> dieAt;
    std::int64_t diedMs = -1;

    bool MidiSend(const ByteString& b) override {
        if (b == kQuery) ++queries;
        if (diedMs < 0) device.receive(b, now);
        return true;
    }
    void startTimer(int ms) override { interval = ms, nextTick = now + ms; }
    void stopTimer() override { nextTick = -1; }
    std::int64_t nowMs() override { return now; }
    void showFailure(TransferFailure f) override {
        ++failures;
        failureKinds.push_back(f);
    }
    void setSendCaption(SendCaption) override {}
    void InitSendButton() override {}
    void log(TransferLogLevel, std::string_view) override {}
    void stageReached(TransferStage stage, int, int) override {
        if (stage == TransferStage::Finished) ++finished;
        if (dieAt == stage && diedMs < 0) diedMs = now;
    }

    // Runs until the machine is idle again or the clock reaches endMs.
    void run(const ByteString& stream, std::int64_t endMs) {
        machine.startConfigTransfer(stream);
        while (machine.state() != IDLE && now < endMs) {
            const auto due = device.nextDueMs();
            std::int64_t next = endMs;
            if (due) next = std::min(next, *due);
            if (nextTick >= 0) next = std::min(next, nextTick);
            now = std::max(now, next);
            // Replies first: a reply and a tick at the same moment race on
            // the real event loop too, and the reply winning is the harder case.
            for (const auto& reply : device.takeDue(now))
                if (diedMs < 0) machine.onSysEx(reply);
            if (nextTick >= 0 && now >= nextTick) {
                nextTick += interval;
                machine.onTimer();
            }
        }
    }
};

ByteString streamOf(std::initializer_list<std::uint8_t> elements) {
    ByteString stream;
    for (std::uint8_t e : elements) {
        const ByteString p = configPacket(e);
        stream.insert(stream.end(), p.begin(), p.end());
    }
    return stream;
}

// A device slower to answer than the poll has several queries waiting at
// once; a reply to a query asked before the store command must not start the
// restart while the device is still storing, or the restart is lost.
TEST(KorvaneDevice, CompletesATransferWhileIgnoringQueries) {
    const struct {
        const char* name;
        DeviceOptions options;
    } cases[] = {
        {"ignores three queries", DeviceOptions{.ignoreQueries = 3}},
        {"answers after 30 ms", DeviceOptions{.replyDelayMs = 30}},
        {"answers after 70 ms", DeviceOptions{.replyDelayMs = 70}},
        {"slow and ignoring", DeviceOptions{.ignoreQueries = 1, .replyDelayMs = 45}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Loop loop(c.options);
        loop.run(streamOf({0, 30, 63}), 60000);
        EXPECT_EQ(loop.finished, 1);
        EXPECT_EQ(loop.failures, 0);
        EXPECT_EQ(loop.device.storedConfiguration().size(), 3u);
        EXPECT_EQ(loop.device.stores(), 1);
        EXPECT_EQ(loop.device.resets(), 1);
    }
}

// Every combination of a slow, deaf and forgetful device: the transfer either
// ends with all packets stored, one store and one restart, or reports a
// failure; it never reports success without the store and the restart, and it
// always ends.
TEST(KorvaneDevice, TransferGridNeverReportsAFalseSuccess) {
    const int replyDelays[] = {0, 1, 19, 20, 21, 45, 100, 249, 250, 300, 700, 1000, 1500};
    const int storeTimes[] = {0, 100, 1000, 1500, 2000, 6000};
    const int resetTimes[] = {0, 500, 2000, 6000, 12000};
    const int ignored[] = {0, 1, 3, 10, 50};
    const ByteString stream = streamOf({0, 9, 63});
    int cells = 0, successes = 0;
    std::int64_t longestMs = 0;
    for (int delay : replyDelays)
        for (int store : storeTimes)
            for (int reset : resetTimes)
                for (int skip : ignored) {
                    const std::string cell = "delay " + std::to_string(delay) + " store " +
                                             std::to_string(store) + " reset " + std::to_string(reset) +
                                             " ignored " + std::to_string(skip);
                    Loop loop(DeviceOptions{
                        .ignoreQueries = skip, .replyDelayMs = delay, .storeMs = store, .resetMs = reset});
                    loop.run(stream, 3'600'000);
                    ++cells;
                    ASSERT_EQ(loop.machine.state(), IDLE) << cell << ": the transfer never ended";
                    ASSERT_EQ(loop.finished + loop.failures, 1) << cell << ": exactly one outcome";
                    if (loop.finished) {
                        ++successes;
                        ASSERT_EQ(loop.device.stores(), 1) << cell;
                        ASSERT_EQ(loop.device.resets(), 1) << cell;
                        ASSERT_EQ(loop.device.storedConfiguration().size(), 3u) << cell;
                        ByteString stored;
                        for (const auto& [element, packet] : loop.device.storedConfiguration())
                            stored.insert(stored.end(), packet.begin(), packet.end());
                        ASSERT_EQ(stored, stream) << cell;
                    }
                    longestMs = std::max(longestMs, loop.now);
                }
    // Every device in the grid answers in the end, so every cell succeeds;
    // a failure here means the waits give up too early.
    EXPECT_EQ(successes, cells);
    RecordProperty("cells", cells);
    RecordProperty("longest_ms", static_cast<int>(longestMs));
}

// However slowly the device answers, only one query is on its way at a time:
// a device that neither skips queries nor is busy gets exactly one query per
// step. One that answers at once is paced like the 20 / 250 ms polls.
TEST(KorvaneDevice, OneQueryPerStepAtTheDevicesPace) {
    const struct {
        int delayMs;
        std::int64_t durationMs;  // start to finish
    } cases[] = {
        // 3 packets polled after 20 ms, store and restart after 250 ms.
        {0, 3 * 20 + 250 + 250},
        // Each query's answer waited for: two at the start, five polls.
        {45, 2 * 45 + 3 * (20 + 45) + 2 * (250 + 45)},
        {300, 2 * 300 + 3 * (20 + 300) + 2 * (250 + 300)},
        {1500, 2 * 1500 + 3 * (20 + 1500) + 2 * (250 + 1500)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.delayMs);
        Loop loop(DeviceOptions{.replyDelayMs = c.delayMs, .storeMs = 0, .resetMs = 0});
        loop.run(streamOf({0, 9, 63}), 600000);
        EXPECT_EQ(loop.finished, 1);
        EXPECT_EQ(loop.queries, 7);
        EXPECT_EQ(loop.now, c.durationMs);
    }
}

// The waits after storing and restarting outlast a slow device but still end.
TEST(KorvaneDevice, SilentAfterEachStepFailsWithTheStepsText) {
    constexpr std::int64_t kHour = 3'600'000;
    const struct {
        const char* name;
        DeviceOptions options;
        TransferFailure failure;
        int stores, resets;
        std::int64_t earliestMs, latestMs;  // when the failure may be reported
    } cases[] = {
        {"switched off", DeviceOptions{.noReply = true}, TransferFailure::NotResponding, 0, 0, 2000, 2000},
        {"never done storing", DeviceOptions{.storeMs = kHour}, TransferFailure::StoreNotConfirmed, 1, 0,
         30000, 35000},
        {"never back after the restart", DeviceOptions{.resetMs = kHour}, TransferFailure::NoRestart, 1, 1,
         30000, 35000},
        {"slow, never back", DeviceOptions{.replyDelayMs = 1000, .resetMs = kHour},
         TransferFailure::NoRestart, 1, 1, 30000, 40000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Loop loop(c.options);
        loop.run(streamOf({5}), 2 * kHour);
        EXPECT_EQ(loop.finished, 0);
        ASSERT_EQ(loop.failureKinds, std::vector<TransferFailure>{c.failure});
        EXPECT_EQ(loop.device.stores(), c.stores);
        EXPECT_EQ(loop.device.resets(), c.resets);
        EXPECT_GE(loop.now, c.earliestMs);
        EXPECT_LE(loop.now, c.latestMs);
    }
}

// A device that goes away in the middle of a transfer fails it when the
// step's time limit is over (plus at most one poll), however slowly it
// answered while it was there.
TEST(KorvaneDevice, DeviceGoneFailsWithinTheStepsLimit) {
    const struct {
        TransferStage stage;
        TransferFailure failure;
        std::int64_t limitMs, pollMs;
    } stages[] = {
        {TransferStage::PacketSent, TransferFailure::NotResponding, TTransferStateMachine::kPacketTimeoutMs,
         TTransferStateMachine::kPacketPollMs},
        {TransferStage::Storing, TransferFailure::StoreNotConfirmed, TTransferStateMachine::kStoreTimeoutMs,
         TTransferStateMachine::kStorePollMs},
        {TransferStage::Restarting, TransferFailure::NoRestart, TTransferStateMachine::kRestartTimeoutMs,
         TTransferStateMachine::kStorePollMs},
    };
    for (int delay : {0, 20, 45, 300, 1000, 1500, 1999})
        for (const auto& s : stages) {
            SCOPED_TRACE("delay " + std::to_string(delay) + " stage " + std::to_string(int(s.stage)));
            Loop loop(DeviceOptions{.replyDelayMs = delay, .storeMs = 0, .resetMs = 0});
            loop.dieAt = s.stage;
            loop.run(streamOf({0, 9, 63}), 3'600'000);
            ASSERT_GE(loop.diedMs, 0);
            EXPECT_EQ(loop.finished, 0);
            ASSERT_EQ(loop.failureKinds, std::vector<TransferFailure>{s.failure});
            EXPECT_GE(loop.now - loop.diedMs, s.limitMs);
            EXPECT_LE(loop.now - loop.diedMs, s.limitMs + s.pollMs);
        }
}

}  // namespace
}  // namespace korvane
