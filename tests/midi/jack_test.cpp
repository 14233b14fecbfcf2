// The RtMidi service and the ports over a real JACK server (dummy driver)
// started for this test. A "device" opens two virtual ports with one service;
// the ports of the editor find them by name through a second service.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <condition_variable>
#include <mutex>

#include "jack_server.h"
#include "midi_in.h"
#include "midi_out.h"
#include "midi_service.h"

using namespace korvane;
using Bytes = std::vector<std::uint8_t>;

namespace {

class MidiOverJack : public korvane::testing::JackTest {};

// Collects what the virtual input receives (on JACK's thread).
struct Inbox {
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<Bytes> messages;
    void add(std::span<const std::uint8_t> b) {
        std::lock_guard lock(mutex);
        messages.emplace_back(b.begin(), b.end());
        cv.notify_all();
    }
    // Waits until n messages are there; the generous limit only keeps a
    // broken transport from hanging the suite.
    bool waitFor(std::size_t n) {
        std::unique_lock lock(mutex);
        return cv.wait_for(lock, std::chrono::seconds(10), [&] { return messages.size() >= n; });
    }
};

Bytes sysex(std::size_t size) {
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i) b[i] = std::uint8_t(i % 0x80);
    b.front() = 0xF0;
    b.back() = 0xF7;
    return b;
}

bool contains(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

TEST_F(MidiOverJack, VirtualPortsAreListedAndMessagesRoundTrip) {
    auto device = createRtMidiService("kvdev");
    ASSERT_FALSE(device->backendNames().empty());
    Inbox inbox;
    std::string error;
    auto devIn = device->openVirtualInput(
        "in", [&](auto b, double) { inbox.add(b); }, error);
    ASSERT_TRUE(devIn) << error;
    auto devOut = device->openVirtualOutput("out", error);
    ASSERT_TRUE(devOut) << error;

    auto editor = createRtMidiService("kveditor");
    ASSERT_TRUE(contains(editor->outputPortNames(), devIn->name())) << devIn->name();
    ASSERT_TRUE(contains(editor->inputPortNames(), devOut->name())) << devOut->name();

    // Editor -> device: a run of short messages arrives as single messages.
    auto out = editor->openOutput(devIn->name(), error);
    ASSERT_TRUE(out) << error;
    auto in = editor->openInput(
        devOut->name(), [](auto, double) {}, error);
    ASSERT_TRUE(in) << error;
    // The editor's own open ports are not offered as devices.
    for (const auto& n : editor->outputPortNames()) EXPECT_NE(n.rfind("kveditor", 0), 0u) << n;
    for (const auto& n : editor->inputPortNames()) EXPECT_NE(n.rfind("kveditor", 0), 0u) << n;
    EXPECT_TRUE(contains(device->inputPortNames(), "kveditor:out") ||
                contains(device->inputPortNames(), "kveditor-01:out"));
    const Bytes run{0xB0, 0x07, 0x40, 0xB1, 0x07, 0x40, 0xB2, 0x07, 0x40};
    ASSERT_TRUE(out->send(run, &error)) << error;
    const Bytes nine{0xF0, 0x7D, 0x08, 0x00, 0x03, 0x00, 0x04, 0x00, 0xF7};
    ASSERT_TRUE(out->send(nine, &error)) << error;
    ASSERT_TRUE(inbox.waitFor(4));
    EXPECT_EQ(inbox.messages[0], (Bytes{0xB0, 0x07, 0x40}));
    EXPECT_EQ(inbox.messages[2], (Bytes{0xB2, 0x07, 0x40}));
    EXPECT_EQ(inbox.messages[3], nine);

    // The largest message accepted still arrives whole.
    const Bytes largest = sysex(kMaxMidiMessageBytes);
    ASSERT_TRUE(out->send(largest, &error)) << error;
    ASSERT_TRUE(inbox.waitFor(5));
    EXPECT_EQ(inbox.messages[4], largest);

    // Above the limit: refused with an error instead of vanishing.
    EXPECT_FALSE(out->send(sysex(kMaxMidiMessageBytes + 100), &error));
}

TEST_F(MidiOverJack, SysexOfNineAndFourThousandBytesReachTheInputPortIntact) {
    auto device = createRtMidiService("kvdev2");
    std::string error;
    auto devOut = device->openVirtualOutput("out", error);
    ASSERT_TRUE(devOut) << error;

    auto editor = createRtMidiService("kveditor2");
    TMidiInput in(*editor);
    in.SetProductName(devOut->name());
    ASSERT_TRUE(in.Open()) << in.LastErrorText();
    in.Start();

    const Bytes nine = sysex(9);
    const Bytes big = sysex(4000);
    ASSERT_TRUE(devOut->send(Bytes{0x90, 0x3C, 0x64}, &error)) << error;
    ASSERT_TRUE(devOut->send(nine, &error)) << error;
    ASSERT_TRUE(devOut->send(big, &error)) << error;

    std::vector<std::unique_ptr<TMyMidiEvent>> events;
    QElapsedTimer limit;
    limit.start();
    while (events.size() < 3 && limit.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        while (auto e = in.GetMidiEvent()) events.push_back(std::move(e));
    }
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0]->MidiMessage, 0x90);
    EXPECT_EQ(events[0]->Data2, 0x64);
    ASSERT_EQ(events[1]->SysexLength, 9);
    EXPECT_EQ(Bytes(events[1]->Sysex.get(), events[1]->Sysex.get() + 9), nine);
    ASSERT_EQ(events[2]->SysexLength, 4000);
    EXPECT_EQ(Bytes(events[2]->Sysex.get(), events[2]->Sysex.get() + 4000), big);

    // The device disappears while the port is open: no crash, the port
    // closes cleanly and cannot reopen on the vanished device.
    devOut.reset();
    in.Close();
    EXPECT_FALSE(in.Open());
}

TEST_F(MidiOverJack, OutputPortSendsLongMessagesToTheDevice) {
    auto device = createRtMidiService("kvdev3");
    Inbox inbox;
    std::string error;
    auto devIn = device->openVirtualInput(
        "in", [&](auto b, double) { inbox.add(b); }, error);
    ASSERT_TRUE(devIn) << error;

    auto editor = createRtMidiService("kveditor3");
    TMidiOutput out(*editor);
    out.SetProductName(devIn->name());
    ASSERT_TRUE(out.Open()) << out.LastErrorText();
    const Bytes query{0xF0, 0x7D, 0x07, 0xF7};
    out.PutLong(query.data(), 4);
    out.PutShort(0xFF, 0, 0);
    ASSERT_TRUE(inbox.waitFor(2));
    EXPECT_EQ(inbox.messages[0], query);
    EXPECT_EQ(inbox.messages[1], (Bytes{0xFF}));
    QCoreApplication::processEvents();
    EXPECT_EQ(out.inFlight(), 0u);
}

}  // namespace

namespace {

// The whole MIDI server goes away while ports are open: sending reports an
// error or goes nowhere, listing finds nothing, closing works, no crash.
TEST(MidiJackServerLoss, PortsSurviveTheServerStopping) {
    std::string why;
    auto server = korvane::testing::JackServer::start(why);
    if (!server) GTEST_SKIP() << why;
    auto device = createRtMidiService("kvgone");
    std::string error;
    auto devIn = device->openVirtualInput(
        "in", [](auto, double) {}, error);
    ASSERT_TRUE(devIn) << error;
    auto editor = createRtMidiService("kveditor4");
    TMidiOutput out(*editor);
    out.SetProductName(devIn->name());
    ASSERT_TRUE(out.Open()) << out.LastErrorText();

    server.reset();  // stops jackd by its process id

    const std::uint8_t query[] = {0xF0, 0x7D, 0x07, 0xF7};
    try {
        out.PutLong(query, 4);
    } catch (const EmidioutputError&) {
        // reporting the loss is as good as sending into the void
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(out.inFlight(), 0u);
    EXPECT_TRUE(out.Close());
    EXPECT_TRUE(editor->outputPortNames().empty());
    devIn.reset();
}

}  // namespace

namespace {

// No MIDI server at all: the service lists nothing and refuses to open, by
// result and error text, never by an exception.
TEST(MidiWithoutServer, ServiceListsNothingAndOpensNothing) {
    const QByteArray previous = qgetenv("JACK_DEFAULT_SERVER");
    qputenv("JACK_DEFAULT_SERVER", "korvane-no-such-server");
    {
        std::unique_ptr<MidiService> service;
        ASSERT_NO_THROW(service = createRtMidiService("kvnone"));
        EXPECT_TRUE(service->inputPortNames().empty());
        EXPECT_TRUE(service->outputPortNames().empty());
        std::string error;
        EXPECT_FALSE(service->openOutput("anything", error));
        EXPECT_FALSE(error.empty());
        error.clear();
        EXPECT_FALSE(service->openInput(
            "anything", [](auto, double) {}, error));
        EXPECT_FALSE(error.empty());
        EXPECT_THROW(TMidiInput noDevices(*service), EMidiInputError);
    }
    if (previous.isNull()) {
        qunsetenv("JACK_DEFAULT_SERVER");
    } else {
        qputenv("JACK_DEFAULT_SERVER", previous);
    }
}

}  // namespace
