// The monitor window hosting the transfer with a simulated device on the
// loopback service: the device answers every version query at once and
// records everything the editor sends.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListView>
#include <QLocale>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <functional>

#include "dialogs.h"
#include "form_midimon.h"
#include "midi_in.h"
#include "midi_out.h"
#include "midi_service.h"
#include "monitor_format.h"
#include "sysex.h"

using namespace korvane;

// Readable failures for lines.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE

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
    const QStringList expected{">  F0 7D 07 F7",           QString(48, '-'), "Version: 03.04",
                               " F0 7D 08 00 03 00 04 F7", QString(48, '-'), "C0 05 00"};
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

// ---- The send panel. ----

std::vector<ByteString> volumeMessages(std::uint8_t level) {
    std::vector<ByteString> m;
    for (std::uint8_t ch = 0; ch < 9; ++ch) m.push_back(ByteString{std::uint8_t(0xB0 + ch), 0x07, level});
    return m;
}

TEST_F(Monitor, PanelSendsWhatItShowsAndNothingForNothing) {
    struct Case {
        const char* name;
        QString typed;  // for btSend; empty with a volume button
        std::function<void()> click;
        std::vector<ByteString> leaves;
        QStringList errors;
    };
    const Case cases[] = {
        {"raw short message", "90,3C,64", [&] { mon.btSendClick(); }, {ByteString{0x90, 0x3C, 0x64}}, {}},
        {"raw SysEx", "F0 7D 07 F7", [&] { mon.btSendClick(); }, {kQuery}, {}},
        {"empty text sends nothing", "", [&] { mon.btSendClick(); }, {}, {}},
        {"blanks only send nothing", "  ,, ", [&] { mon.btSendClick(); }, {}, {}},
        {"invalid hex shows the parser's text",
         "B0,7,FE",
         [&] { mon.btSendClick(); },
         {},
         {"Fehler: Dies ist keine gültige Hexadezimalwert-Kette (B0,7,FE)"}},
        {"VOL 7F", "", [&] { mon.btSendVol7FClick(); }, volumeMessages(0x7F), {}},
        {"VOL 60", "", [&] { mon.btSendVol60Click(); }, volumeMessages(0x60), {}},
        {"VOL 40", "", [&] { mon.btSendVol40Click(); }, volumeMessages(0x40), {}},
        {"VOL 00", "", [&] { mon.btSendVol00Click(); }, volumeMessages(0x00), {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        dev.received.clear();
        boxes.clear();
        mon.edSend->setText(c.typed);
        c.click();
        QApplication::processEvents();
        // Version queries are answered; the reply is not what this is about.
        EXPECT_EQ(dev.received, c.leaves);
        EXPECT_EQ(boxes.texts(ScriptedDialogs::Kind::Error), c.errors);
    }
}

TEST_F(Monitor, VolumeLeavesAsOneLongMessageAndIsShownAsNineSent) {
    std::vector<ByteString> handed;
    // What the port is handed is one message of 27 bytes.
    output->OnSent = [&](std::span<const std::uint8_t> b) { handed.emplace_back(b.begin(), b.end()); };
    mon.btSendVol40Click();
    ASSERT_EQ(handed.size(), 1u);
    EXPECT_EQ(handed[0].size(), 27u);
    mon.BindInput();
    mon.btClearClick();
    mon.btSendVol40Click();
    const QStringList lines = mon.memoLines();
    ASSERT_EQ(lines.size(), 9);
    EXPECT_EQ(lines.front(), "> B0 07 40");
    EXPECT_EQ(lines.back(), "> B8 07 40");
}

TEST_F(Monitor, WithoutAnOpenOutputTheSendButtonsSayWhy) {
    output->Close();
    const std::function<void()> clicks[] = {[&] {
                                                mon.edSend->setText("90 3C 64");
                                                mon.btSendClick();
                                            },
                                            [&] { mon.btSendVol7FClick(); }, [&] { mon.btSendVol00Click(); },
                                            [&] { mon.btSineClick(); }};
    for (const auto& click : clicks) {
        boxes.clear();
        click();
        ASSERT_EQ(boxes.texts(ScriptedDialogs::Kind::Error).size(), 1);
        EXPECT_TRUE(
            boxes.texts(ScriptedDialogs::Kind::Error)[0].startsWith("Wählen Sie gleich ein gültiges"));
    }
    EXPECT_FALSE(mon.TimerSine->isActive());
    EXPECT_TRUE(dev.received.empty());
}

TEST_F(Monitor, SineTestSendsNinePhasesAndStopsAfterTenSeconds) {
    mon.btSineClick();
    ASSERT_TRUE(mon.TimerSine->isActive());
    EXPECT_EQ(mon.TimerSine->interval(), 50);
    EXPECT_EQ(mon.TimerSineStartedAt, now);
    dev.received.clear();
    mon.TimerSineTimer();
    const auto values = monitor::sineValues(monitor::kSineStep);
    ASSERT_EQ(dev.received.size(), 9u);
    for (std::size_t i = 0; i < 9; ++i)
        EXPECT_EQ(dev.received[i], (ByteString{std::uint8_t(0xB0 + i), 0x07, values[i]})) << i;

    now += 10000;  // not yet more than ten seconds
    mon.TimerSineTimer();
    EXPECT_TRUE(mon.TimerSine->isActive());
    now += 1;
    mon.TimerSineTimer();
    EXPECT_FALSE(mon.TimerSine->isActive());
    EXPECT_FALSE(mon.btSine->isChecked());
    // The angle goes on from where it stopped.
    EXPECT_NEAR(mon.Testwinkel, 3 * monitor::kSineStep, 1e-12);

    // A second click stops a running test at once.
    mon.btSineClick();
    ASSERT_TRUE(mon.TimerSine->isActive());
    mon.btSineClick();
    EXPECT_FALSE(mon.TimerSine->isActive());
}

TEST_F(Monitor, ClosingTheWindowStopsTheSineTest) {
    mon.show();
    mon.btSineClick();
    ASSERT_TRUE(mon.TimerSine->isActive());
    mon.btCloseClick();
    EXPECT_FALSE(mon.TimerSine->isActive());
    mon.show();
    mon.btSineClick();
    mon.close();
    EXPECT_FALSE(mon.TimerSine->isActive());
}

TEST_F(Monitor, SineTestStopsWhenThePortGoesAway) {
    mon.btSineClick();
    dev.in.reset();
    mon.TimerSineTimer();
    EXPECT_FALSE(mon.TimerSine->isActive());
}

// ---- Display choices. ----

TEST_F(Monitor, DividerFollowsARunOfShortMessagesAfterThePause) {
    mon.ed_timerinterval->setText("50");
    EXPECT_EQ(mon.Timer1->interval(), 50);
    mon.ed_timerinterval->setText("zz");
    EXPECT_EQ(mon.Timer1->interval(), 200);
    for (std::uint8_t n : {0x3C, 0x3E, 0x40}) dev.reply(ByteString{0x90, n, 0x64});
    QApplication::processEvents();
    EXPECT_EQ(mon.memoLines(), (QStringList{"90 3C 64", "90 3E 64", "90 40 64"}));
    ASSERT_TRUE(mon.Timer1->isActive());
    mon.Timer1Timer();  // the pause is over
    EXPECT_FALSE(mon.Timer1->isActive());
    EXPECT_EQ(mon.memoLines().size(), 4);
    EXPECT_EQ(mon.memoLines().back(), QString(48, '-'));

    mon.Edit_BytesProZeile->setText("4");
    mon.chkTrennlinie->setChecked(false);
    dev.reply(ByteString{0x80, 0x3C, 0x00});
    QApplication::processEvents();
    mon.Timer1Timer();
    EXPECT_EQ(mon.memoLines().back(), "80 3C 00");
    mon.chkTrennlinie->setChecked(true);
    mon.Timer1Timer();
    EXPECT_EQ(mon.memoLines().back(), QString(12, '-'));
}

TEST_F(Monitor, SysExFollowsBytesPerLineAndNibbleView) {
    mon.Edit_BytesProZeile->setText("4");
    dev.reply(ByteString{0xF0, 0x7D, 0x01, 0x01, 0x02, 0x0A, 0x0B, 0xF7});
    QApplication::processEvents();
    mon.chkNibblesToBytes->setChecked(true);
    dev.reply(ByteString{0xF0, 0x7D, 0x01, 0x01, 0x02, 0x0A, 0x0B, 0xF7});
    QApplication::processEvents();
    EXPECT_EQ(mon.memoLines(),
              (QStringList{" F0 7D 01 01", " 02 0A 0B F7", QString(12, '-'), " 12 AB", QString(12, '-')}));
}

TEST_F(Monitor, TimeStampsUseTheLocalesDecimalSeparator) {
    struct Case {
        QLocale locale;
        QChar separator;
    };
    const Case cases[] = {{QLocale(QLocale::German, QLocale::Germany), ','},
                          {QLocale(QLocale::English, QLocale::UnitedStates), '.'}};
    mon.chkShowTimestamps->setChecked(true);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.locale.name().toStdString());
        QLocale::setDefault(c.locale);
        mon.btClearClick();
        dev.reply(ByteString{0x90, 0x3C, 0x64});
        QApplication::processEvents();
        const QStringList lines = mon.memoLines();
        ASSERT_EQ(lines.size(), 1);
        const QString line = lines[0];
        EXPECT_EQ(line.size(), 21);
        EXPECT_EQ(line.mid(10), " - 90 3C 64");
        EXPECT_EQ(line.at(6), c.separator) << line.toStdString();
    }
    QLocale::setDefault(QLocale::c());
}

// ---- The record and its view. ----

TEST_F(Monitor, RecordsWhileClosedAndShowingKeepsIt) {
    ASSERT_FALSE(mon.isVisible());
    mon.btAskFirmwareVersionClick();
    QApplication::processEvents();
    mon.show();
    QApplication::processEvents();
    const QStringList lines = mon.memoLines();
    EXPECT_TRUE(lines.contains(">  F0 7D 07 F7"));
    EXPECT_TRUE(lines.contains("Version: 03.04"));
    mon.hide();
}

TEST_F(Monitor, FilterAndDirectionsChooseTheShownLines) {
    mon.chkTrennlinie->setChecked(false);
    dev.reply(ByteString{0x90, 0x3C, 0x64});
    QApplication::processEvents();
    mon.edSend->setText("F0 7D 07 F7");
    mon.btSendClick();  // the device answers it
    QApplication::processEvents();
    mon.edSend->setText("B0 07 10");
    mon.btSendClick();
    struct Case {
        const char* name;
        int filter;
        bool in, out;
        QStringList lines;
    };
    const Case cases[] = {
        {"all",
         0,
         true,
         true,
         {"90 3C 64", ">  F0 7D 07 F7", "Version: 03.04", " F0 7D 08 00 03 00 04 F7", "> B0 07 10"}},
        {"SysEx only", 1, true, true, {">  F0 7D 07 F7", "Version: 03.04", " F0 7D 08 00 03 00 04 F7"}},
        {"short only", 2, true, true, {"90 3C 64", "> B0 07 10"}},
        {"received", 0, true, false, {"90 3C 64", "Version: 03.04", " F0 7D 08 00 03 00 04 F7"}},
        {"sent short", 2, false, true, {"> B0 07 10"}},
        {"nothing", 0, false, false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        mon.cbFilter->setCurrentIndex(c.filter);
        mon.chkShowIn->setChecked(c.in);
        mon.chkShowOut->setChecked(c.out);
        EXPECT_EQ(mon.memoLines(), c.lines);
    }
}

TEST_F(Monitor, PauseHoldsTheViewAndResumeCatchesUp) {
    dev.reply(ByteString{0x90, 0x01, 0x01});
    QApplication::processEvents();
    ASSERT_EQ(mon.memoLines(), QStringList{"90 01 01"});
    mon.btPause->setChecked(true);
    mon.btPauseClick();
    EXPECT_EQ(mon.btPause->text(), "Fortsetzen");
    dev.reply(ByteString{0x90, 0x02, 0x01});
    dev.reply(ByteString{0x90, 0x03, 0x01});
    QApplication::processEvents();
    EXPECT_EQ(mon.memoLines(), QStringList{"90 01 01"});
    EXPECT_EQ(mon.history().size(), 3u);  // recording went on
    mon.btPause->setChecked(false);
    mon.btPauseClick();
    QApplication::processEvents();
    EXPECT_EQ(mon.memoLines(), (QStringList{"90 01 01", "90 02 01", "90 03 01"}));
}

TEST_F(Monitor, BoundedRecordSaysHowManyOlderLinesWereDropped) {
    mon.edHistoryLines->setValue(100);
    for (int i = 0; i < 130; ++i) {
        dev.reply(ByteString{0x90, std::uint8_t(i & 0x7F), 0x01});
        if (i % 40 == 0) QApplication::processEvents();  // the view follows in steps
    }
    QApplication::processEvents();
    const QStringList lines = mon.memoLines();
    ASSERT_EQ(lines.size(), 101);
    EXPECT_EQ(lines[0], "(30 ältere Zeilen verworfen)");
    EXPECT_EQ(lines[1], "90 1E 01");
    EXPECT_EQ(lines.back(), "90 01 01");  // 129 & 0x7F
    setUiLanguage("en");
    dev.reply(ByteString{0x90, 0x02, 0x01});
    QApplication::processEvents();
    EXPECT_EQ(mon.memoLines()[0], "(31 older lines dropped)");
    mon.btClearClick();
    EXPECT_TRUE(mon.memoLines().isEmpty());
}

TEST_F(Monitor, SaveWritesTheShownLinesOrSaysWhyNot) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    dev.reply(ByteString{0x90, 0x3C, 0x64});
    dev.reply(ByteString{0xF0, 0x7D, 0x01, 0x02, 0xF7});
    QApplication::processEvents();
    const QString path = dir.filePath("monitor.txt");
    boxes.setNextFile(path);
    mon.btSaveClick();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("90 3C 64\n F0 7D 01 02 F7\n" + QByteArray(48, '-') + "\n"));
    EXPECT_TRUE(boxes.texts(ScriptedDialogs::Kind::Error).isEmpty());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"monitor.txt"});

    // A folder that does not exist: one box naming the file, nothing written.
    const QString bad = dir.filePath("missing/monitor.txt");
    boxes.setNextFile(bad);
    mon.btSaveClick();
    ASSERT_EQ(boxes.texts(ScriptedDialogs::Kind::Error).size(), 1);
    EXPECT_TRUE(boxes.texts(ScriptedDialogs::Kind::Error)[0].startsWith("Die Datei " + bad));
    // Cancelled: nothing happens.
    boxes.clear();
    mon.btSaveClick();
    EXPECT_TRUE(boxes.texts(ScriptedDialogs::Kind::Error).isEmpty());
}

TEST_F(Monitor, CopyTakesTheSelectionOrEverythingShown) {
    dev.reply(ByteString{0x90, 0x3C, 0x64});
    dev.reply(ByteString{0x80, 0x3C, 0x00});
    QApplication::processEvents();
    mon.memoLines();
    mon.btCopyClick();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "90 3C 64\n80 3C 00");
    mon.Memo1->selectionModel()->select(mon.Memo1->model()->index(1, 0), QItemSelectionModel::Select);
    mon.btCopyClick();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "80 3C 00");
    mon.Memo1->selectAll();
    mon.btCopyClick();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "90 3C 64\n80 3C 00");
}

// ---- Input under a flood. ----

TEST_F(Monitor, InputIsTakenInSlicesByCountAndByTime) {
    struct Case {
        const char* name;
        std::int64_t msPerClockRead;
        std::uint32_t firstSlice;
    };
    const Case cases[] = {
        {"a still clock: the count bounds the slice", 0, TFormMIDIMon::kInputSliceEvents},
        {"a slow turn: the time bounds it", 20, 63},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        mon.btClearClick();
        mon.NowMs = [this, &c] { return now += c.msPerClockRead; };
        const std::uint32_t total = TFormMIDIMon::kInputSliceEvents + 100;
        for (std::uint32_t i = 0; i < total; ++i) dev.reply(ByteString{0x90, std::uint8_t(i & 0x7F), 0x01});
        ASSERT_EQ(input->MessageCount(), total);
        mon.MIDIMonitorInput();
        EXPECT_EQ(total - input->MessageCount(), c.firstSlice);
        // Until the next turn, further notifications leave the queue alone.
        mon.MIDIMonitorInput();
        EXPECT_EQ(total - input->MessageCount(), c.firstSlice);
        for (int k = 0; k < 200 && input->MessageCount() > 0; ++k) QApplication::processEvents();
        EXPECT_EQ(input->MessageCount(), 0u);
        EXPECT_EQ(mon.history().size(), total);
    }
}

TEST_F(Monitor, FloodOfAHundredThousandArrivesCompleteAndInOrder) {
    mon.chkTrennlinie->setChecked(false);
    mon.show();
    constexpr int kTotal = 100000;
    constexpr int kBurst = 1000;  // one period of the MIDI system at a time
    auto message = [](int i) {
        return ByteString{std::uint8_t(0x90 | ((i >> 14) & 0x0F)), std::uint8_t((i >> 7) & 0x7F),
                          std::uint8_t(i & 0x7F)};
    };
    for (int sent = 0; sent < kTotal;) {
        for (int k = 0; k < kBurst; ++k, ++sent) dev.reply(message(sent));
        QApplication::processEvents();
    }
    for (int k = 0; k < 1000 && input->MessageCount() > 0; ++k) QApplication::processEvents();
    ASSERT_EQ(input->MessageCount(), 0u);
    const QStringList lines = mon.memoLines();
    ASSERT_EQ(lines.size(), kTotal);  // nothing lost, no note about losses
    for (int i = 0; i < kTotal; ++i) {
        const auto m = message(i);
        const QString expected = QString::fromStdString(monitor::shortLine(m, std::nullopt, '.'));
        if (lines[i] != expected) {
            ADD_FAILURE() << "line " << i << ": " << lines[i].toStdString();
            break;
        }
    }
    mon.hide();
}

TEST_F(Monitor, MixedFloodKeepsOrderAndTheReplyStepStillRuns) {
    mon.chkTrennlinie->setChecked(false);
    mon.btAskFirmwareVersionClick();  // answered at once, ahead of the flood
    QStringList expected{">  F0 7D 07 F7", "Version: 03.04", " F0 7D 08 00 03 00 04 F7"};
    int n = 0;
    for (int burst = 0; burst < 30; ++burst) {
        for (int k = 0; k < 305; ++k, ++n) {
            if (k % 61 == 60) {  // five SysEx of 200 bytes among 300 short messages
                ByteString sysex{0xF0};
                for (int b = 0; b < 198; ++b) sysex.push_back(std::uint8_t((n + b) & 0x7F));
                sysex.push_back(0xF7);
                dev.reply(sysex);
                for (const auto& line : monitor::sysexLines(sysex, 16, false))
                    expected << QString::fromStdString(line);
            } else {
                const ByteString m{0xB0, std::uint8_t(n & 0x7F), std::uint8_t((n >> 7) & 0x7F)};
                dev.reply(m);
                expected << QString::fromStdString(monitor::shortLine(m, std::nullopt, '.'));
            }
        }
        QApplication::processEvents();
    }
    for (int k = 0; k < 100 && input->MessageCount() > 0; ++k) QApplication::processEvents();
    EXPECT_EQ(mon.MyStateMachine(), IDLE);
    EXPECT_EQ(mon.VersionsString, "03.04");
    const QStringList lines = mon.memoLines();
    ASSERT_EQ(lines.size(), expected.size());
    for (int i = 0; i < lines.size(); ++i)
        if (lines[i] != expected[i]) {
            ADD_FAILURE() << "line " << i << ": " << lines[i].toStdString() << " instead of "
                          << expected[i].toStdString();
            break;
        }
}

}  // namespace
