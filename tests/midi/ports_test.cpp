// TMidiInput and TMidiOutput over the in-process loopback service. A test
// device opens a virtual output ("Dev Out", seen by the ports as an input
// device) and a virtual input ("Dev In", an output device that records).
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "midi_in.h"
#include "midi_out.h"
#include "midi_service.h"
#include "rtmidi_report.h"

using namespace korvane;
using Bytes = std::vector<std::uint8_t>;

namespace {

void pump() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

struct LoopbackDevice {
    std::unique_ptr<MidiService> service = createLoopbackService();
    std::unique_ptr<MidiOutputConnection> toEditor;
    std::unique_ptr<MidiInputConnection> fromEditor;
    std::vector<Bytes> received;

    LoopbackDevice() {
        std::string error;
        toEditor = service->openVirtualOutput("Dev Out", error);
        fromEditor = service->openVirtualInput(
            "Dev In",
            [this](std::span<const std::uint8_t> b, double) { received.emplace_back(b.begin(), b.end()); },
            error);
    }
    void send(const Bytes& b) { ASSERT_TRUE(toEditor->send(b)); }
};

struct OpenInput : LoopbackDevice {
    TMidiInput in{*service};
    OpenInput() {
        in.SetProductName("Dev Out");
        EXPECT_TRUE(in.Open());
        in.Start();
    }
};

TEST(MidiInput, EventsArriveAsRecords) {
    OpenInput f;
    int notified = 0;
    std::vector<std::unique_ptr<TMyMidiEvent>> events;
    f.in.OnMidiInput = [&](TMidiInput* sender) {
        ++notified;
        while (sender->MessageCount() > 0) events.push_back(sender->GetMidiEvent());
    };
    f.send({0xF0, 0x7D, 0x08, 0x00, 0x03, 0x00, 0x04, 0x00, 0xF7});
    f.send({0x90, 0x3C, 0x64});
    f.send({0xFE});
    f.send({0xF8});
    f.send({0xC0, 0x05});
    pump();

    // One handler call drains both; the second notification finds the queue empty.
    EXPECT_EQ(notified, 1);
    ASSERT_EQ(events.size(), 3u);
    const auto& sx = *events[0];
    EXPECT_EQ(sx.MidiMessage, 0xF0);
    EXPECT_EQ(sx.Data1, 0);
    EXPECT_EQ(sx.SysexLength, 9);
    ASSERT_TRUE(sx.Sysex);
    EXPECT_EQ(Bytes(sx.Sysex.get(), sx.Sysex.get() + 9),
              (Bytes{0xF0, 0x7D, 0x08, 0x00, 0x03, 0x00, 0x04, 0x00, 0xF7}));

    const auto& note = *events[1];
    EXPECT_EQ(note.MidiMessage, 0x90);
    EXPECT_EQ(note.Data1, 0x3C);
    EXPECT_EQ(note.Data2, 0x64);
    EXPECT_EQ(note.SysexLength, 0);
    EXPECT_FALSE(note.Sysex);

    EXPECT_EQ(events[2]->MidiMessage, 0xC0);
    EXPECT_EQ(events[2]->Data1, 0x05);
    EXPECT_EQ(events[2]->Data2, 0x00);
}

TEST(MidiInput, SysexBuffersAreReusedAndLongMessagesContinueInTheNextBuffer) {
    LoopbackDevice dev;
    TMidiInput in(*dev.service);
    in.SetSysexBufferCount(2);
    in.SetSysexBufferSize(8);
    in.SetProductName("Dev Out");
    ASSERT_TRUE(in.Open());
    in.Start();
    // Twenty messages through two buffers: each must come back to the driver.
    for (int round = 0; round < 20; ++round) {
        dev.send({0xF0, 0x7D, std::uint8_t(round), 0xF7});
        auto e = in.GetMidiEvent();
        ASSERT_TRUE(e) << round;
        EXPECT_EQ(e->Sysex[2], round);
    }
    // 12 bytes with buffers of 8: two events, 8 + 4 bytes.
    dev.send({0xF0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0xF7});
    auto a = in.GetMidiEvent();
    auto b = in.GetMidiEvent();
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->SysexLength, 8);
    EXPECT_EQ(b->SysexLength, 4);
    EXPECT_EQ(b->Sysex[3], 0xF7);
}

TEST(MidiInput, FullQueueReportsOverflowAndKeepsTheSysexBuffer) {
    LoopbackDevice dev;
    TMidiInput in(*dev.service);
    in.SetCapacity(2);
    in.SetSysexBufferCount(3);
    in.SetProductName("Dev Out");
    ASSERT_TRUE(in.Open());
    in.Start();
    int overflows = 0;
    in.OnOverflow = [&](TMidiInput*) { ++overflows; };
    for (int i = 0; i < 5; ++i) dev.send({0xF0, 0x7D, std::uint8_t(i), 0xF7});
    pump();
    EXPECT_EQ(overflows, 3);
    EXPECT_EQ(in.MessageCount(), 2u);
    while (in.GetMidiEvent()) {
    }
    // Lost messages did not cost buffers: three more still fit.
    for (int i = 0; i < 3; ++i) {
        dev.send({0xF0, 0x7D, 0x10, 0xF7});
        EXPECT_TRUE(in.GetMidiEvent()) << i;
    }
}

TEST(MidiInput, NothingArrivesBeforeStartOrAfterStopAndCloseEmptiesTheQueue) {
    LoopbackDevice dev;
    TMidiInput in(*dev.service);
    in.SetProductName("Dev Out");
    ASSERT_TRUE(in.Open());
    dev.send({0x90, 1, 1});
    EXPECT_EQ(in.MessageCount(), 0u);
    in.Start();
    dev.send({0x90, 1, 1});
    dev.send({0xF0, 0x7D, 0x07, 0xF7});
    EXPECT_EQ(in.MessageCount(), 2u);
    in.Stop();
    dev.send({0x90, 2, 2});
    EXPECT_EQ(in.MessageCount(), 2u);

    in.Close();
    EXPECT_EQ(in.MessageCount(), 0u);
    EXPECT_EQ(in.GetMidiEvent(), nullptr);
    EXPECT_EQ(in.MIDIHandle(), 0u);
    pump();  // notifications of the closed port call nothing
    dev.send({0x90, 3, 3});
    EXPECT_EQ(in.MessageCount(), 0u);
}

TEST(MidiInput, SettingsThatCannotChangeWhileOpen) {
    OpenInput f;
    struct Case {
        const char* what;
        std::function<void()> change;
        const char* message;
    };
    const Case cases[] = {
        {"device", [&] { f.in.SetDeviceID(0); }, "Change to DeviceID while device was open"},
        {"name", [&] { f.in.SetProductName("Dev Out"); }, "Change to ProductName while device was open"},
        {"size", [&] { f.in.SetSysexBufferSize(10); }, "Change to SysexBufferSize while device was open"},
        {"count", [&] { f.in.SetSysexBufferCount(2); }, "Change to SysexBuffercount while device was open"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            c.change();
            ADD_FAILURE() << "no error raised";
        } catch (const EMidiInputError& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
    }
    EXPECT_EQ(f.in.SysexBufferSize(), 4096);
    EXPECT_EQ(f.in.SysexBufferCount(), 16);
    EXPECT_EQ(f.in.State(), misOpen);
}

TEST(MidiInput, DeviceSelectionErrors) {
    LoopbackDevice dev;
    TMidiInput in(*dev.service);
    EXPECT_THROW(in.SetDeviceID(1), EMidiInputError);
    try {
        in.SetProductName("Nope");
        ADD_FAILURE();
    } catch (const EMidiInputError& e) {
        EXPECT_STREQ(e.what(), "MIDI Input Device Nope not installed ");
    }
    auto empty = createLoopbackService();
    EXPECT_THROW(TMidiInput noDevices(*empty), EMidiInputError);
}

TEST(MidiInput, DeviceThatVanishesWhileOpenDoesNotBreakThePort) {
    OpenInput f;
    f.toEditor.reset();  // the device goes away
    EXPECT_EQ(f.in.MessageCount(), 0u);
    EXPECT_EQ(f.in.GetMidiEvent(), nullptr);
    f.in.Close();
    EXPECT_FALSE(f.in.Open());  // gone: stays closed, reports by result
    EXPECT_EQ(f.in.State(), misClosed);
    EXPECT_FALSE(f.in.LastErrorText().empty());
}

struct OpenOutput : LoopbackDevice {
    TMidiOutput out{*service};
    OpenOutput() {
        out.SetProductName("Dev In");
        EXPECT_TRUE(out.Open());
    }
};

TEST(MidiOutput, PutLongSendsTheBytesAndReleasesOnlyOnCompletion) {
    OpenOutput f;
    int completions = 0;
    f.out.Onmidioutput = [&](TMidiOutput*) { ++completions; };
    const std::uint8_t query[] = {0xF0, 0x7D, 0x07, 0xF7};
    f.out.PutLong(query, 4);
    f.out.PutLong(query, 4);
    ASSERT_EQ(f.received.size(), 2u);
    EXPECT_EQ(f.received[0], (Bytes{0xF0, 0x7D, 0x07, 0xF7}));
    EXPECT_EQ(f.out.inFlight(), 2u);  // still owned until the completion is processed
    EXPECT_EQ(completions, 0);
    pump();
    EXPECT_EQ(f.out.inFlight(), 0u);
    EXPECT_EQ(completions, 2);
}

TEST(MidiOutput, RunsOfShortMessagesArriveOneByOne) {
    OpenOutput f;
    const std::uint8_t vol[] = {0xB0, 0x07, 0x40, 0xB1, 0x07, 0x40, 0xB2, 0x07, 0x40};
    f.out.PutLong(vol, sizeof vol);
    f.out.PutShort(0xC0, 0x05, 0x00);
    ASSERT_EQ(f.received.size(), 4u);
    EXPECT_EQ(f.received[2], (Bytes{0xB2, 0x07, 0x40}));
    EXPECT_EQ(f.received[3], (Bytes{0xC0, 0x05}));
}

TEST(MidiOutput, StateRulesAndFailures) {
    OpenOutput f;
    const std::uint8_t b[] = {0x90, 1, 2};
    EXPECT_THROW(f.out.SetDeviceID(0), EmidioutputError);
    EXPECT_EQ(f.out.ProductName(), "Dev In");
    EXPECT_TRUE(f.out.Close());
    EXPECT_FALSE(f.out.Close());  // already closed: false, no error
    EXPECT_THROW(f.out.PutShort(0x90, 1, 2), EmidioutputError);
    EXPECT_THROW(f.out.PutLong(b, 3), EmidioutputError);
    TMyMidiEvent e;
    try {
        f.out.PutMidiEvent(e);
        ADD_FAILURE();
    } catch (const EmidioutputError& err) {
        EXPECT_STREQ(err.what(), "MIDI Output device not open");
    }
    ASSERT_TRUE(f.out.Open());
    EXPECT_THROW(f.out.PutLong(b, 0), EmidioutputError);
    EXPECT_NO_THROW(f.out.SetVolume(0xFFFF, 0xFFFF));

    // The device goes away while open: sending raises, nothing leaks.
    f.fromEditor.reset();
    EXPECT_THROW(f.out.PutLong(b, 3), EmidioutputError);
    EXPECT_EQ(f.out.inFlight(), 0u);
}

TEST(MidiOutput, NewDevicesAreSeenWhenEnumeratingAgain) {
    LoopbackDevice dev;
    TMidiOutput out(*dev.service);
    EXPECT_EQ(out.Numdevs(), 1u);
    std::string error;
    auto later = dev.service->openVirtualInput(
        "Later", [](auto, double) {}, error);
    EXPECT_EQ(out.Numdevs(), 2u);
    out.SetDeviceID(1);
    EXPECT_EQ(out.ProductName(), "Later");
}

struct SplitCase {
    const char* name;
    Bytes in;
    std::vector<Bytes> out;
};

TEST(SplitMidiMessages, CutsRunsIntoSingleMessages) {
    const SplitCase cases[] = {
        {"sysex whole", {0xF0, 1, 2, 0xF7}, {{0xF0, 1, 2, 0xF7}}},
        {"sysex then note", {0xF0, 1, 0xF7, 0x90, 1, 2}, {{0xF0, 1, 0xF7}, {0x90, 1, 2}}},
        {"program change has one data byte", {0xC0, 5, 0x90, 1, 2}, {{0xC0, 5}, {0x90, 1, 2}}},
        {"running status", {0xB0, 7, 1, 7, 2}, {{0xB0, 7, 1}, {0xB0, 7, 2}}},
        {"real-time inside", {0xB0, 7, 0xF8, 1}, {{0xF8}, {0xB0, 7, 1}}},
        {"stray data dropped", {1, 2, 0x90, 1, 2}, {{0x90, 1, 2}}},
        {"single reset byte", {0xFF}, {{0xFF}}},
        {"unterminated sysex kept", {0xF0, 1, 2}, {{0xF0, 1, 2}}},
        {"second F0 before F7 starts a new sysex",
         {0xF0, 0x7D, 0x01, 0xF0, 0x7D, 0x08, 0, 3, 0, 4, 0xF7},
         {{0xF0, 0x7D, 0x01}, {0xF0, 0x7D, 0x08, 0, 3, 0, 4, 0xF7}}},
        {"status byte cuts a sysex short", {0xF0, 1, 2, 0x90, 1, 2}, {{0xF0, 1, 2}, {0x90, 1, 2}}},
        {"real-time inside sysex stands alone", {0xF0, 1, 0xF8, 2, 0xF7}, {{0xF8}, {0xF0, 1, 2, 0xF7}}},
        {"real-time next to F0 and F7", {0xF0, 0xFE, 1, 0xFA, 0xF7}, {{0xFE}, {0xFA}, {0xF0, 1, 0xF7}}},
        {"sysex cut off after a real-time byte",
         {0xF0, 1, 0xF8, 0x90, 1, 2},
         {{0xF8}, {0xF0, 1}, {0x90, 1, 2}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(splitMidiMessages(c.in), c.out);
    }
}

// A MIDI service with one input device whose backend delivers whatever the
// test hands it as one message, the way a backend may glue messages together.
class GluingService : public MidiService {
public:
    MidiInputCallback deliver;
    std::vector<std::string> inputPortNames() override { return {"Glue"}; }
    std::vector<std::string> outputPortNames() override { return {}; }
    std::unique_ptr<MidiInputConnection> openInput(const std::string& name, MidiInputCallback callback,
                                                   std::string& error, std::size_t) override {
        if (name != "Glue") {
            error = "no such port";
            return nullptr;
        }
        deliver = std::move(callback);
        return std::make_unique<Connection>(*this);
    }
    std::unique_ptr<MidiOutputConnection> openOutput(const std::string&, std::string& error,
                                                     std::size_t) override {
        error = "no outputs";
        return nullptr;
    }
    std::unique_ptr<MidiInputConnection> openVirtualInput(const std::string&, MidiInputCallback,
                                                          std::string& error) override {
        error = "no virtual ports";
        return nullptr;
    }
    std::unique_ptr<MidiOutputConnection> openVirtualOutput(const std::string&, std::string& error) override {
        error = "no virtual ports";
        return nullptr;
    }
    void setErrorHandler(MidiErrorHandler) override {}
    std::vector<std::string> backendNames() const override { return {"glue"}; }

private:
    struct Connection : MidiInputConnection {
        explicit Connection(GluingService& s) : service(s) {}
        ~Connection() override { service.deliver = nullptr; }
        const std::string& name() const override { return portName; }
        GluingService& service;
        std::string portName = "Glue";
    };
};

// Each event as bytes: a SysEx event as its SysEx bytes, a short one as its
// three record bytes.
std::vector<Bytes> drain(TMidiInput& in) {
    std::vector<Bytes> events;
    while (auto e = in.GetMidiEvent()) {
        if (e->MidiMessage == 0xF0) {
            events.emplace_back(e->Sysex.get(), e->Sysex.get() + e->SysexLength);
        } else {
            events.push_back({e->MidiMessage, e->Data1, e->Data2});
        }
    }
    return events;
}

TEST(MidiInput, MessagesGluedByTheBackendArriveOneByOne) {
    const Bytes reply{0xF0, 0x7D, 0x08, 0x00, 0x03, 0x00, 0x04, 0xF7};
    auto after = [&](Bytes head) {
        head.insert(head.end(), reply.begin(), reply.end());
        return head;
    };
    const struct {
        const char* name;
        Bytes delivered;
        std::vector<Bytes> events;
    } cases[] = {
        {"reply after a sysex that lost its F7",
         after({0xF0, 0x7D, 0x01, 0x02}),
         {{0xF0, 0x7D, 0x01, 0x02}, reply}},
        {"note swallowed by a cut-off sysex",
         after({0xF0, 0x7D, 0x01, 0x90, 0x3C, 0x64}),
         {{0xF0, 0x7D, 0x01}, {0x90, 0x3C, 0x64}, reply}},
        {"real-time byte inside the reply",
         {0xF0, 0x7D, 0xFA, 0x08, 0x00, 0x03, 0x00, 0x04, 0xF7},
         {{0xFA, 0, 0}, reply}},
        {"timing clock inside the reply is filtered",
         {0xF0, 0x7D, 0x08, 0x00, 0xF8, 0x03, 0x00, 0x04, 0xF7},
         {reply}},
        {"run of short messages",
         {0x90, 0x3C, 0x64, 0x80, 0x3C, 0x00},
         {{0x90, 0x3C, 0x64}, {0x80, 0x3C, 0x00}}},
        {"cut-off sysex longer than a buffer",
         after({0xF0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}),
         {{0xF0, 1, 2, 3, 4, 5, 6, 7}, {8, 9, 10}, reply}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        GluingService service;
        TMidiInput in(service);
        in.SetSysexBufferSize(8);
        in.SetSysexBufferCount(4);
        ASSERT_TRUE(in.Open());
        in.Start();
        ASSERT_TRUE(service.deliver);
        service.deliver(c.delivered, 0.0);
        EXPECT_EQ(drain(in), c.events);
        // Every buffer came back: four more full buffers still fit.
        for (int i = 0; i < 4; ++i) service.deliver(reply, 0.0);
        EXPECT_EQ(drain(in), std::vector<Bytes>(4, reply));
    }
}

TEST(LoopbackService, RefusesEmptyAndOversizedMessagesAndTakenNames) {
    LoopbackDevice dev;
    std::string error;
    auto out = dev.service->openOutput("Dev In", error);
    ASSERT_TRUE(out);
    EXPECT_FALSE(out->send({}, &error));
    Bytes big(kMaxMidiMessageBytes + 1, 0);
    big.front() = 0xF0;
    big.back() = 0xF7;
    EXPECT_FALSE(out->send(big, &error));
    EXPECT_NE(error.find("limit"), std::string::npos);
    EXPECT_TRUE(dev.received.empty());
    EXPECT_FALSE(dev.service->openVirtualInput(
        "Dev In", [](auto, double) {}, error));
    EXPECT_FALSE(dev.service->openInput(
        "Missing", [](auto, double) {}, error));
}

}  // namespace

// RtMidi tells of a message the MIDI system would not take only with a
// warning; a send must then fail instead of reporting success.
TEST(RtMidiReports, WarningsFailASendButNotAnOpen) {
    const struct {
        RtMidiError::Type type;
        bool sending;
        bool fails;
    } cases[] = {
        {RtMidiError::WARNING, true, true},
        {RtMidiError::WARNING, false, false},
        {RtMidiError::DEBUG_WARNING, true, false},
        {RtMidiError::DEBUG_WARNING, false, false},
        {RtMidiError::DRIVER_ERROR, true, true},
        {RtMidiError::DRIVER_ERROR, false, true},
        {RtMidiError::INVALID_PARAMETER, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(int(c.type)) + (c.sending ? " sending" : " opening"));
        EXPECT_EQ(rtMidiReportFailsCall(c.type, c.sending), c.fails);
    }
}
