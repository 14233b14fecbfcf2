#include "korvane_device.h"

#include <gtest/gtest.h>

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

// The state machine against the simulated device, both on one fake clock. A
// device slower to answer than the 20 ms poll has several queries waiting at
// once; a reply to a query asked before the store command must not start the
// restart while the device is still storing, or the restart is lost.
TEST(KorvaneDevice, CompletesATransferWhileIgnoringQueries) {
    struct Loop : TransferHost {
        explicit Loop(DeviceOptions options) : device(options) {}
        KorvaneDevice device;
        TTransferStateMachine machine{*this};
        std::int64_t now = 0, interval = 0, nextTick = -1;
        bool done = false, aborted = false;
        bool MidiSend(const ByteString& b) override {
            device.receive(b, now);
            return true;
        }
        void startTimer(int ms) override { interval = ms, nextTick = now + ms; }
        void stopTimer() override { nextTick = -1; }
        std::int64_t nowMs() override { return now; }
        void showNotResponding() override { aborted = true; }
        void setSendCaption(SendCaption) override {}
        void InitSendButton() override { done = true; }
        void log(TransferLogLevel, std::string_view) override {}
    };
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
        ByteString stream;
        for (std::uint8_t e : {0, 30, 63}) {
            const ByteString p = configPacket(e);
            stream.insert(stream.end(), p.begin(), p.end());
        }
        loop.machine.startConfigTransfer(stream);
        while (!loop.done && loop.now < 60000) {
            ++loop.now;
            for (const auto& reply : loop.device.takeDue(loop.now)) loop.machine.onSysEx(reply);
            if (loop.nextTick >= 0 && loop.now >= loop.nextTick) {
                loop.nextTick += loop.interval;
                loop.machine.onTimer();
            }
        }
        EXPECT_TRUE(loop.done);
        EXPECT_FALSE(loop.aborted);
        EXPECT_EQ(loop.device.storedConfiguration().size(), 3u);
        EXPECT_EQ(loop.device.stores(), 1);
        EXPECT_EQ(loop.device.resets(), 1);
    }
}

}  // namespace
}  // namespace korvane
