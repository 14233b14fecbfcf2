// Finding the device on the loopback switchboard: devices are pairs of
// virtual ports that answer the question after a delay, silent ports never
// answer, and the search runs on a fake clock.
#include "device_search.h"

#include <gtest/gtest.h>

#include <deque>

#include "midi_service.h"

namespace korvane {
namespace {

using Bytes = std::vector<std::uint8_t>;
const Bytes kQuestion{0xF0, 0x7D, 0x07, 0xF7};
const Bytes kAnswer{0xF0, 0x7D, 0x08, 0x00, 0x03, 0x00, 0x04, 0xF7};

bool isAnswer(std::span<const std::uint8_t> m) { return Bytes(m.begin(), m.end()) == kAnswer; }

// A port pair on the switchboard: what reaches "<name> In" is answered on
// "<name> Out" replyMs later; a mute one only listens.
struct FakeDevice {
    FakeDevice(MidiService& service, const std::string& name, int replyMs, bool answers = true)
        : replyMs(replyMs), answers(answers) {
        std::string error;
        out = service.openVirtualOutput(name + " Out", error);
        in = service.openVirtualInput(
            name + " In",
            [this](std::span<const std::uint8_t> b, double) {
                // Runs inside the sender's call; the answer goes out later.
                if (Bytes(b.begin(), b.end()) != kQuestion) return;
                ++asked;
                pending.push_back(now + this->replyMs);
            },
            error);
    }
    void deliver(std::int64_t at) {
        now = at;
        while (!pending.empty() && pending.front() <= at) {
            pending.pop_front();
            if (answers) out->send(kAnswer);
            // Traffic that is no answer must not count as one.
            out->send(Bytes{0xB0, 0x07, 0x40});
        }
    }
    int replyMs;
    bool answers;
    int asked = 0;
    std::int64_t now = 0;
    std::deque<std::int64_t> pending;
    std::unique_ptr<MidiOutputConnection> out;
    std::unique_ptr<MidiInputConnection> in;
};

struct SearchRun {
    std::vector<FoundDevice> found;
    std::vector<std::string> answering;
    std::int64_t endMs = -1;
};

// Polls every 20 ms, as the dialog's timer does, up to limitMs.
SearchRun search(MidiService& service, std::vector<std::unique_ptr<FakeDevice>>& devices,
                 std::int64_t limitMs) {
    DeviceSearch s(service, kQuestion, isAnswer);
    s.start(0);
    SearchRun run;
    for (std::int64_t t = 0; t <= limitMs; t += 20) {
        for (auto& d : devices) d->deliver(t);
        if (s.poll(t)) {
            run.endMs = t;
            break;
        }
    }
    run.found = s.found();
    run.answering = s.answeringInputs();
    return run;
}

TEST(DeviceSearch, FindsThePairsThatAnswer) {
    const struct Case {
        const char* name;
        std::vector<std::tuple<std::string, int, bool>> devices;  // name, reply ms, answers
        std::vector<FoundDevice> found;
    } cases[] = {
        {"one device among mute ports",
         {{"Mute", 0, false}, {"Dev", 0, true}, {"Also mute", 0, false}},
         {{"Dev Out", "Dev In"}}},
        {"a slow device", {{"Mute", 0, false}, {"Slow", 300, true}}, {{"Slow Out", "Slow In"}}},
        {"nobody answers", {{"Mute", 0, false}, {"Also mute", 0, false}}, {}},
        {"two devices, in the order of the outputs",
         {{"B", 0, true}, {"Mute", 0, false}, {"A", 50, true}},
         {{"B Out", "B In"}, {"A Out", "A In"}}},
        // Answers later than the listening time are not heard.
        {"too slow", {{"Late", 1500, true}}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto service = createLoopbackService();
        std::vector<std::unique_ptr<FakeDevice>> devices;
        for (const auto& [name, replyMs, answers] : c.devices)
            devices.push_back(std::make_unique<FakeDevice>(*service, name, replyMs, answers));
        const SearchRun run = search(*service, devices, 20000);
        ASSERT_GE(run.endMs, DeviceSearch::kListenMs) << "the first round listens its full time";
        EXPECT_EQ(run.found, c.found);
        EXPECT_EQ(run.answering.size(), c.found.size());
        // Every device was asked in the first round, answering or not.
        for (const auto& d : devices) EXPECT_GE(d->asked, 1);
    }
}

// The second round asks one output at a time: a device that answers on the
// input of another device's pair is found on its own output.
TEST(DeviceSearch, CrossedPortsArePairedByWhoAnswered) {
    auto service = createLoopbackService();
    std::string error;
    // The device listens on "X In" and talks on "Y Out"; "X Out" and "Y In" are mute.
    std::deque<std::int64_t> pending;
    std::int64_t now = 0;
    auto yOut = service->openVirtualOutput("Y Out", error);
    auto xOut = service->openVirtualOutput("X Out", error);
    auto yIn = service->openVirtualInput(
        "Y In", [](std::span<const std::uint8_t>, double) {}, error);
    auto xIn = service->openVirtualInput(
        "X In", [&](std::span<const std::uint8_t>, double) { pending.push_back(now + 10); }, error);
    DeviceSearch s(*service, kQuestion, isAnswer);
    s.start(0);
    for (now = 0; now < 5000 && !s.finished(); now += 20) {
        while (!pending.empty() && pending.front() <= now) {
            pending.pop_front();
            yOut->send(kAnswer);
        }
        s.poll(now);
    }
    ASSERT_TRUE(s.finished());
    EXPECT_EQ(s.found(), (std::vector<FoundDevice>{{"Y Out", "X In"}}));
}

TEST(DeviceSearch, StopEndsAtOnceAndClosesThePorts) {
    auto service = createLoopbackService();
    std::vector<std::unique_ptr<FakeDevice>> devices;
    devices.push_back(std::make_unique<FakeDevice>(*service, "Dev", 0));
    DeviceSearch s(*service, kQuestion, isAnswer);
    s.start(0);
    EXPECT_TRUE(s.running());
    EXPECT_EQ(s.outputCount(), 1u);
    EXPECT_EQ(s.inputCount(), 1u);
    s.stop();
    EXPECT_FALSE(s.running());
    EXPECT_FALSE(s.finished());
    // The answer now reaches nobody, and polling finds nothing.
    devices[0]->deliver(50);
    EXPECT_FALSE(s.poll(2000));
    EXPECT_TRUE(s.found().empty());
}

TEST(DeviceSearch, NoPortsEndsAtOnce) {
    auto service = createLoopbackService();
    DeviceSearch s(*service, kQuestion, isAnswer);
    s.start(0);
    EXPECT_TRUE(s.finished());
    EXPECT_TRUE(s.found().empty());
}

}  // namespace
}  // namespace korvane
