// The monitor window hosting the transfer with a simulated device on the
// loopback service: the device answers every version query at once and
// records everything the editor sends.
#include <gtest/gtest.h>

#include <QApplication>
#include <algorithm>
#include <functional>
#include <QPlainTextEdit>
#include <QTimer>

#include "dialogs.h"
#include "form_midimon.h"
#include "midi_in.h"
#include "midi_out.h"
#include "midi_service.h"
#include "sysex.h"

using namespace korvane;

namespace {

const ByteString kQuery{0xF0, 0x7D, 0x07, 0xF7};
const ByteString kStore{0xF0, 0x7D, 0x03, 0xF7};
const ByteString kReset{0xFF};

struct Device {
    std::unique_ptr<MidiService> service = createLoopbackService();
    std::unique_ptr<MidiOutputConnection> out;
    std::unique_ptr<MidiInputConnection> in;
    std::vector<ByteString> received;
    std::string version = "03.04";
    bool answers = true;

    Device() {
        std::string error;
        out = service->openVirtualOutput("Korvane Out", error);
        in = service->openVirtualInput(
            "Korvane In",
            [this](std::span<const std::uint8_t> b, double) {
                received.emplace_back(b.begin(), b.end());
                if (answers && received.back() == kQuery) reply(MakeVersionReply(version));
            },
            error);
    }
    void reply(const ByteString& b) { out->send(b); }
};

class Monitor : public ::testing::Test {
protected:
    void SetUp() override {
        setUiLanguage("de");
        input = std::make_unique<TMidiInput>(*dev.service);
        output = std::make_unique<TMidiOutput>(*dev.service);
        input->SetProductName("Korvane Out");
        output->SetProductName("Korvane In");
        ASSERT_TRUE(input->Open());
        input->Start();
        ASSERT_TRUE(output->Open());
        mon.MIDIinput1 = input.get();
        mon.MIDIoutput1 = output.get();
        mon.BindInput();
        mon.NowMs = [this] { return now; };
        mon.OnSetSendCaption = [this](const QString& c) { captions << c; };
        mon.OnInitSendButton = [this] { ++restored; };
    }

    // Delivers posted notifications and, while the machine polls the device
    // (after a packet, while storing and restarting), plays the answer timer
    // by hand, so the exchange proceeds without waiting for real time. The
    // first-answer time-outs are never fired here.
    void run(int steps = 100) {
        auto polling = [this] {
            const auto s = mon.MyStateMachine();
            return s == CONTINUE_SEND_CONFIG || s == SEND_CONFIG_EEPROM_BRENNEN ||
                   s == SEND_CONFIG_WAIT_EEPROM_WRITTEN || s == SEND_CONFIG_RESET_WAIT_VERSIONSABFRAGE;
        };
        for (int i = 0; i < steps && mon.MyStateMachine() != IDLE; ++i) {
            for (int k = 0; k < 3; ++k) QApplication::processEvents();
            if (polling() && mon.TimerWaitForAnswer->isActive()) mon.TimerWaitForAnswerTimer();
        }
        QApplication::processEvents();
    }

    Device dev;
    ScriptedDialogs boxes;
    ScopedDialogs scope{&boxes};
    std::unique_ptr<TMidiInput> input;
    std::unique_ptr<TMidiOutput> output;
    TFormMIDIMon mon;
    std::int64_t now = 1000;
    QStringList captions;
    int restored = 0;
};

ByteString packet(std::uint8_t tag) { return ByteString{0xF0, 0x7D, 0x01, tag, 0x00, 0xF7}; }

TEST_F(Monitor, ConfigurationTransferRunsToTheEnd) {
    ByteString stream;
    for (std::uint8_t t : {1, 2, 3}) {
        const auto p = packet(t);
        stream.insert(stream.end(), p.begin(), p.end());
    }
    mon.SendConfiguration(stream);
    run();

    EXPECT_EQ(mon.MyStateMachine(), IDLE);
    EXPECT_EQ(restored, 1);
    // Queries repeated by the timer are dropped from the comparison: what
    // matters is the order of packets, store and restart, each after a reply.
    std::vector<ByteString> withoutQueries;
    for (const auto& m : dev.received)
        if (m != kQuery) withoutQueries.push_back(m);
    EXPECT_EQ(withoutQueries, (std::vector<ByteString>{packet(1), packet(2), packet(3), kStore, kReset}));
    EXPECT_EQ(dev.received.front(), kQuery);
    EXPECT_EQ(dev.received.back(), kQuery);
    for (std::size_t i = 1; i < dev.received.size(); ++i)
        if (dev.received[i] != kQuery) {
            EXPECT_EQ(dev.received[i - 1], kQuery) << "sent without a reply before it, at " << i;
        }
    EXPECT_EQ(captions,
              (QStringList{"Daten werden gespeichert", "Korvane wird neu gestartet (Reset)", "Wieder da?"}));
    EXPECT_EQ(mon.VersionsString, "03.04");
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_EQ(output->inFlight(), 0u);
}

TEST_F(Monitor, SilentDeviceShowsNotRespondingAndRestoresTheControls) {
    dev.answers = false;
    mon.SendConfiguration(packet(1));
    run(5);
    EXPECT_EQ(mon.MyStateMachine(), SEND_CONFIG_WAIT_VERSION);
    EXPECT_EQ(restored, 0);
    now += 2001;
    mon.TimerWaitForAnswerTimer();
    EXPECT_EQ(mon.MyStateMachine(), IDLE);
    EXPECT_EQ(restored, 1);
    EXPECT_FALSE(mon.TimerWaitForAnswer->isActive());
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_TRUE(boxes.shown()[0].text.startsWith("Korvane antwortet nicht."));
}

TEST_F(Monitor, UnsupportedVersionStopsTheNotificationAndLeavesTheRestQueued) {
    dev.reply(MakeVersionReply("02.00"));
    dev.reply(ByteString{0x90, 0x3C, 0x64});
    QApplication::processEvents();
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_TRUE(boxes.shown()[0].text.startsWith("Korvane antwortet nicht."));
    // The note was not handled by that notification; the next one takes it.
    const QStringList lines = mon.memoLines();
    EXPECT_TRUE(lines.contains("Version: 02.00"));
    EXPECT_FALSE(lines.contains(" F0 7D 08 00 02 00 00 F7"));
    mon.MIDIMonitorInput();
    EXPECT_EQ(mon.memoLines().back(), "90 3C 64");
    EXPECT_EQ(input->MessageCount(), 0u);
}

// A box runs its own event loop, so replies and timer ticks go on arriving
// while it is open. These boxes do the same: each one lets the device answer
// again with the wrong version and lets the timer tick, before it closes.
class NestingDialogs : public ScriptedDialogs {
public:
    std::function<void()> whileOpen;
    int depth = 0;
    int deepest = 0;
    void message(const QString& text) override {
        ScriptedDialogs::message(text);
        deepest = std::max(deepest, ++depth);
        if (whileOpen && depth < 5) whileOpen();
        --depth;
    }
};

TEST_F(Monitor, FirmwareChangingMidTransferEndsItWithOneBox) {
    NestingDialogs nesting;
    ScopedDialogs inner(&nesting);
    nesting.whileOpen = [this] {
        dev.reply(MakeVersionReply("02.00"));
        for (int k = 0; k < 3; ++k) QApplication::processEvents();
        if (mon.TimerWaitForAnswer->isActive()) mon.TimerWaitForAnswerTimer();
        for (int k = 0; k < 3; ++k) QApplication::processEvents();
    };
    ByteString stream;
    for (std::uint8_t t : {1, 2, 3}) {
        const auto p = packet(t);
        stream.insert(stream.end(), p.begin(), p.end());
    }
    mon.SendConfiguration(stream);
    // Two replies start the transfer and send the first packet; from then
    // on the device answers with a version the editor does not accept.
    for (int k = 0; k < 3; ++k) QApplication::processEvents();
    ASSERT_EQ(mon.MyStateMachine(), CONTINUE_SEND_CONFIG);
    dev.version = "02.00";
    run(20);

    EXPECT_EQ(mon.MyStateMachine(), IDLE);
    EXPECT_FALSE(mon.TimerWaitForAnswer->isActive());
    EXPECT_EQ(restored, 1);
    ASSERT_EQ(nesting.count(), 1u);
    EXPECT_TRUE(nesting.shown()[0].text.startsWith("Korvane antwortet nicht."));
    EXPECT_EQ(nesting.deepest, 1);
    // Nothing beyond the first packet went out.
    for (const auto& m : dev.received) {
        EXPECT_NE(m, packet(2));
        EXPECT_NE(m, kStore);
    }
}

TEST_F(Monitor, ShowsRepliesAndShortMessages) {
    mon.btAskFirmwareVersionClick();
    QApplication::processEvents();
    dev.reply(ByteString{0xC0, 0x05});
    QApplication::processEvents();
    EXPECT_EQ(mon.MyStateMachine(), IDLE);
    // The query that went out is shown too, marked as sent.
    const QStringList expected{">  F0 7D 07 F7", QString(48, '-'), "Version: 03.04", " F0 7D 08 00 03 00 04 F7",
                               QString(48, '-'), "C0 05 00"};
    EXPECT_EQ(mon.memoLines(), expected);
    mon.btClearClick();
    EXPECT_TRUE(mon.memoLines().isEmpty());
}

// Reply digits are not range checked: a digit byte of 0x7F gives the
// character 0xAF, which the monitor must show as that character.
TEST_F(Monitor, VersionTextAboveAsciiIsShownAsItsCharacter) {
    dev.reply(ByteString{0xF0, 0x7D, 0x08, 0x00, 0x03, 0x7F, 0x04, 0xF7});
    QApplication::processEvents();
    ASSERT_FALSE(mon.memoLines().isEmpty());
    EXPECT_EQ(mon.memoLines().front(), QString::fromUtf8("Version: 03.\u00AF4"));
}

TEST_F(Monitor, RequestButtonsSendTheirCommandAfterTheReply) {
    struct Case {
        const char* name;
        std::function<void()> click;
        ByteString request;
    };
    const Case cases[] = {
        {"configuration", [&] { mon.btAskConfigurationClick(); }, ByteString{0xF0, 0x7D, 0x02, 0xF7}},
        {"profiles", [&] { mon.btAskProfilesClick(); }, ByteString{0xF0, 0x7D, 0x06, 0xF7}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        dev.received.clear();
        c.click();
        QApplication::processEvents();
        EXPECT_EQ(dev.received, (std::vector<ByteString>{kQuery, c.request}));
        EXPECT_EQ(mon.MyStateMachine(), IDLE);
    }
    mon.OnPortsCreated = [] { return false; };
    dev.received.clear();
    mon.btAskProfilesClick();
    EXPECT_TRUE(dev.received.empty());
    ASSERT_EQ(boxes.texts(ScriptedDialogs::Kind::Error).size(), 1);
    EXPECT_TRUE(boxes.texts(ScriptedDialogs::Kind::Error)[0].startsWith("MIDI-Interface nicht vorhanden"));
}

TEST_F(Monitor, FloodIsHandledInBoundedStepsWithoutLoss) {
    // More than the queue holds: the surplus is lost at the queue, the rest
    // is shown, and no single handler call runs longer than what was queued.
    input->Close();
    input->SetCapacity(1024);
    ASSERT_TRUE(input->Open());
    input->Start();
    for (int i = 0; i < 3000; ++i) dev.reply(ByteString{0x90, std::uint8_t(i & 0x7F), 0x01});
    EXPECT_EQ(input->MessageCount(), 1024u);
    mon.MIDIMonitorInput();
    EXPECT_EQ(input->MessageCount(), 0u);
    EXPECT_EQ(mon.memoLines().size(), 1024);
    QApplication::processEvents();  // the remaining notifications find nothing
    // The surplus is not lost silently: one line after the burst counts it.
    QApplication::processEvents();
    ASSERT_EQ(mon.memoLines().size(), 1025);
    EXPECT_EQ(mon.memoLines().back(), "1976 MIDI-Ereignisse verloren (Eingangspuffer voll)");
}

TEST_F(Monitor, EachBurstOfLostInputIsToldOnce) {
    input->Close();
    input->SetCapacity(2);
    ASSERT_TRUE(input->Open());
    input->Start();
    for (int burst = 0; burst < 2; ++burst) {
        SCOPED_TRACE(burst);
        mon.btClearClick();
        for (std::uint8_t i = 0; i < 5; ++i) dev.reply(ByteString{0x90, i, 0x01});
        for (int k = 0; k < 3; ++k) QApplication::processEvents();
        EXPECT_EQ(mon.memoLines(),
                  (QStringList{"90 00 01", "90 01 01", "3 MIDI-Ereignisse verloren (Eingangspuffer voll)"}));
    }
    // Nothing lost, nothing told.
    mon.btClearClick();
    dev.reply(ByteString{0x90, 0x3C, 0x64});
    for (int k = 0; k < 3; ++k) QApplication::processEvents();
    EXPECT_EQ(mon.memoLines(), QStringList{"90 3C 64"});
}

TEST_F(Monitor, SendingToAVanishedPortIsLoggedNotThrown) {
    EXPECT_TRUE(mon.MidiSend(kQuery));
    dev.in.reset();
    EXPECT_NO_THROW(EXPECT_FALSE(mon.MidiSend(kQuery)));
    EXPECT_NO_THROW(EXPECT_FALSE(mon.MidiSend(ByteString{})));
    mon.MIDIoutput1 = nullptr;
    EXPECT_NO_THROW(mon.VersionsAbfrage());
}

}  // namespace
