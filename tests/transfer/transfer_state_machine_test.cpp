#include "transfer_state_machine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "byte_strings.h"
#include "hexmon.h"
#include "texts.h"

namespace korvane {
namespace {

// Records everything the machine does as one ordered list of events, and
// keeps a fake clock and a fake repeating timer.
class FakeHost : public TransferHost {
public:
    std::vector<std::string> events;
    std::int64_t now = 0;
    int interval = 0;
    bool timerRunning = false;
    std::int64_t nextTick = 0;

    // Messages the port refuses (a send that fails), by their first bytes.
    std::vector<ByteString> refused;

    bool MidiSend(const ByteString& bytes) override {
        for (const auto& r : refused) {
            if (bytes.size() >= r.size() && std::equal(r.begin(), r.end(), bytes.begin())) {
                events.push_back("refused " + HexBytes(bytes));
                return false;
            }
        }
        events.push_back("send " + HexBytes(bytes));
        return true;
    }
    void startTimer(int intervalMs) override {
        interval = intervalMs;
        timerRunning = true;
        nextTick = now + intervalMs;
        events.push_back("timer " + std::to_string(intervalMs));
    }
    void stopTimer() override { timerRunning = false; }
    std::int64_t nowMs() override { return now; }
    void showFailure(TransferFailure f) override {
        events.push_back(f == TransferFailure::NotResponding       ? "T1"
                         : f == TransferFailure::StoreNotConfirmed ? "store not confirmed"
                                                                   : "no restart");
    }
    void setSendCaption(SendCaption c) override {
        events.push_back(c == SendCaption::Saving         ? "caption T2"
                         : c == SendCaption::Initializing ? "caption T3"
                                                          : "caption T4");
    }
    void InitSendButton() override { events.push_back("InitSendButton"); }
    void log(TransferLogLevel level, std::string_view line) override {
        const char* tag = level == TransferLogLevel::Info       ? "info "
                          : level == TransferLogLevel::InfoAnsi ? "ansi "
                                                                : "error ";
        events.push_back(tag + std::string(line));
    }

    // Advances the fake clock by ms, firing the timer on every tick due.
    void advance(std::int64_t ms, TTransferStateMachine& m) {
        const std::int64_t end = now + ms;
        while (timerRunning && nextTick <= end) {
            now = nextTick;
            nextTick += interval;
            m.onTimer();
        }
        now = end;
    }
    std::vector<std::string> take() { return std::exchange(events, {}); }
};

const ByteString kReply0304{0xF0, 0x7D, 0x08, 0, 3, 0, 4, 0xF7};
const ByteString kReply0302{0xF0, 0x7D, 0x08, 0, 3, 0, 2, 0xF7};
const std::string kQuery = "send F0 7D 07 F7";

ByteString packet(std::uint8_t element) {
    return BuildDataPacket(0x01, ByteString{element, 0x0E, 0xB0, 0xFE});
}

std::string sentLog(const ByteString& p) {
    return "ansi ACK received, send: " + THexmon::HexAsciiMonLine(p, 0, 256);
}

// Replies the way the device does: where the machine polls for an answer
// (after a packet, the store command or the restart), the reply follows its
// next poll.
void answer(FakeHost& host, TTransferStateMachine& m) {
    if (host.timerRunning && host.interval != TTransferStateMachine::kFirstAnswerMs)
        host.advance(host.interval, m);
    m.onSysEx(kReply0304);
}

TEST(TransferStateMachine, FullThreePacketTransfer) {
    FakeHost host;
    TTransferStateMachine m(host);
    const ByteString p1 = packet(0), p2 = packet(9), p3 = packet(63);
    const ByteString stream = testing::joined({p1, p2, p3});

    m.startConfigTransfer(stream);
    EXPECT_EQ(host.take(), (std::vector<std::string>{kQuery, "timer 2000"}));
    EXPECT_EQ(m.state(), SEND_CONFIG_WAIT_VERSION);
    EXPECT_EQ(m.packetCount(), 3);

    EXPECT_TRUE(m.onSysEx(kReply0304));
    EXPECT_EQ(host.take(), (std::vector<std::string>{kQuery, "timer 2000"}));
    EXPECT_EQ(m.state(), SEND_CONFIG_BEGIN);

    m.onSysEx(kReply0304);
    EXPECT_EQ(host.take(), (std::vector<std::string>{sentLog(p1), "send " + HexBytes(p1), "timer 20"}));
    EXPECT_EQ(m.posStartSysValue(), 1);
    EXPECT_EQ(m.posEndSysValue(), static_cast<int>(p1.size()));

    host.advance(45, m);  // two unanswered polls
    EXPECT_EQ(host.take(), (std::vector<std::string>{"info wait for ACK (Data)", kQuery,
                                                     "info wait for ACK (Data)", kQuery}));
    m.onSysEx(kReply0304);
    EXPECT_EQ(host.take(), (std::vector<std::string>{sentLog(p2), "send " + HexBytes(p2), "timer 20"}));
    EXPECT_EQ(m.posStartSysValue(), static_cast<int>(p1.size()) + 1);

    // The reply to the second of those polls was asked before p2 went out, so
    // it says nothing about p2; the reply to the next poll does.
    m.onSysEx(kReply0304);
    EXPECT_EQ(host.take(),
              (std::vector<std::string>{"info ACK ignored, query was asked before the last step"}));
    EXPECT_EQ(m.state(), CONTINUE_SEND_CONFIG);
    EXPECT_TRUE(host.timerRunning);
    host.advance(20, m);
    EXPECT_EQ(host.take(), (std::vector<std::string>{"info wait for ACK (Data)", kQuery}));
    m.onSysEx(kReply0304);
    EXPECT_EQ(host.take(), (std::vector<std::string>{sentLog(p3), "send " + HexBytes(p3),
                                                     "info last SysEx packet sent", "timer 20"}));
    EXPECT_EQ(m.state(), SEND_CONFIG_EEPROM_BRENNEN);
    EXPECT_EQ(m.posEndSysValue(), static_cast<int>(stream.size()));

    host.advance(20, m);
    EXPECT_EQ(host.take(), (std::vector<std::string>{"info wait for ACK (ready to write EEPROM)", kQuery}));
    m.onSysEx(kReply0304);
    EXPECT_EQ(host.take(), (std::vector<std::string>{"info ACK received, write EEPROM", "caption T2",
                                                     "send F0 7D 03 F7", "timer 250"}));

    host.advance(250, m);
    EXPECT_EQ(host.take(),
              (std::vector<std::string>{"info wait for ACK (EEPROM written)", kQuery, "caption T3"}));
    m.onSysEx(kReply0304);
    EXPECT_EQ(host.take(), (std::vector<std::string>{"info ACK received, resetting Korvane", "caption T4",
                                                     "send FF", "timer 250"}));
    EXPECT_EQ(m.state(), SEND_CONFIG_RESET_WAIT_VERSIONSABFRAGE);

    host.advance(500, m);
    EXPECT_EQ(host.take(), (std::vector<std::string>{"info wait for ACK (alive after Reset)", kQuery,
                                                     "info wait for ACK (alive after Reset)", kQuery}));
    m.onSysEx(kReply0304);
    EXPECT_EQ(host.take(), (std::vector<std::string>{"info ACK received, finished.", "InitSendButton"}));
    EXPECT_EQ(m.state(), IDLE);
    EXPECT_FALSE(host.timerRunning);
}

// A firmware query asked just before the transfer was lost on the way (the
// port had only just opened). The transfer's first reply is then taken for
// that older query; the transfer asks once more instead of running into its
// time-out with the device answering.
TEST(TransferStateMachine, LostEarlierQueryDoesNotStallTheStart) {
    FakeHost host;
    TTransferStateMachine m(host);
    m.startManualVersion();  // never answered
    host.advance(10, m);
    m.startConfigTransfer(packet(1));
    host.take();
    m.onSysEx(kReply0304);
    EXPECT_EQ(host.take(),
              (std::vector<std::string>{"info ACK ignored, query was asked before the last step", kQuery}));
    EXPECT_EQ(m.state(), SEND_CONFIG_WAIT_VERSION);
    m.onSysEx(kReply0304);
    EXPECT_EQ(m.state(), SEND_CONFIG_BEGIN);
}

// The ports were closed (the interface dialog lists the devices) while a
// firmware query was on its way, so its reply was lost with the port. Kept as
// unanswered, that query takes the next reply for itself, and then every
// later reply one query too early for the whole transfer: each step's first
// reply is dropped and the step asks again. Forgotten when the ports open
// again, every step goes on with its first reply.
TEST(TransferStateMachine, QueriesLostWithClosedPortsAreForgotten) {
    for (const bool reopened : {false, true}) {
        SCOPED_TRACE(reopened ? "ports opened again" : "query kept");
        FakeHost host;
        TTransferStateMachine m(host);
        m.startManualVersion();  // the reply is lost with the closed port
        host.advance(10, m);
        if (reopened) m.forgetQueries();
        m.startManualVersion();  // asked again on the new ports
        m.onSysEx(kReply0304);
        host.advance(10, m);
        m.startConfigTransfer(testing::joined({packet(0), packet(9), packet(63)}));
        int dropped = 0;
        for (int reply = 0; reply < 20 && m.state() != IDLE; ++reply) {
            answer(host, m);
            for (const auto& e : host.take())
                if (e == "info ACK ignored, query was asked before the last step") ++dropped;
        }
        EXPECT_EQ(m.state(), IDLE);
        if (reopened) {
            EXPECT_EQ(dropped, 0);
        } else {
            EXPECT_GE(dropped, 5) << "one dropped reply per step";
        }
    }
}

TEST(TransferStateMachine, OlderFirmwareIsServedLikeTheCurrentOne) {
    FakeHost host;
    TTransferStateMachine m(host);
    m.startConfigTransfer(packet(1));
    m.onSysEx(kReply0302);
    EXPECT_EQ(m.state(), SEND_CONFIG_BEGIN);
    m.onSysEx(kReply0302);
    EXPECT_EQ(m.state(), SEND_CONFIG_EEPROM_BRENNEN);  // one packet: straight to the store step
}

TEST(TransferStateMachine, UnsupportedVersionStopsHandlingAndKeepsState) {
    FakeHost host;
    TTransferStateMachine m(host);
    m.startConfigTransfer(packet(1));
    host.take();
    EXPECT_FALSE(m.onSysEx(ByteString{0xF0, 0x7D, 0x08, 0, 3, 0, 1, 0xF7}));
    EXPECT_EQ(host.take(), (std::vector<std::string>{"T1", "error Version not supported"}));
    EXPECT_EQ(m.state(), SEND_CONFIG_WAIT_VERSION);
    EXPECT_TRUE(host.timerRunning);
    // Such a device never answers acceptably, so the first time-out still ends the transfer.
    host.advance(2000, m);
    EXPECT_EQ(host.take(), (std::vector<std::string>{"T1", "InitSendButton"}));
    EXPECT_EQ(m.state(), IDLE);
}

TEST(TransferStateMachine, UnsupportedVersionPastTheFirstQueryEndsTheTransferOnce) {
    const ByteString old0301{0xF0, 0x7D, 0x08, 0, 3, 0, 1, 0xF7};
    // Each polled stage: the reply that arrives there is unsupported.
    struct Case {
        const char* name;
        int goodReplies;  // supported replies before the bad one (2 packets in the stream)
        TMyStateMachine stageAtBadReply;
    };
    for (const Case& c :
         {Case{"second query", 1, SEND_CONFIG_BEGIN}, Case{"after a packet", 2, CONTINUE_SEND_CONFIG},
          Case{"before the store", 3, SEND_CONFIG_EEPROM_BRENNEN},
          Case{"while storing", 4, SEND_CONFIG_WAIT_EEPROM_WRITTEN},
          Case{"after the restart", 5, SEND_CONFIG_RESET_WAIT_VERSIONSABFRAGE}}) {
        SCOPED_TRACE(c.name);
        FakeHost host;
        TTransferStateMachine m(host);
        const ByteString stream = testing::joined({packet(1), packet(2)});
        m.startConfigTransfer(stream);
        for (int i = 0; i < c.goodReplies; ++i) answer(host, m);
        ASSERT_EQ(m.state(), c.stageAtBadReply);
        host.take();
        EXPECT_FALSE(m.onSysEx(old0301));
        const auto events = host.take();
        EXPECT_EQ(std::count(events.begin(), events.end(), "T1"), 1);
        EXPECT_EQ(std::count(events.begin(), events.end(), "InitSendButton"), 1);
        EXPECT_NE(std::find(events.begin(), events.end(), "error Version not supported"), events.end());
        EXPECT_EQ(m.state(), IDLE);
        EXPECT_FALSE(host.timerRunning);
        // Further bad replies (answers to queries still on the way) show a
        // box each, as outside a transfer, but restart nothing.
        host.advance(1000, m);
        EXPECT_TRUE(host.take().empty());
    }
}

TEST(TransferStateMachine, RepliesOutsideATransfer) {
    FakeHost host;
    TTransferStateMachine m(host);
    EXPECT_TRUE(m.onSysEx(kReply0304));
    EXPECT_EQ(host.take(), (std::vector<std::string>{"ansi Version: 03.04"}));
    EXPECT_EQ(m.state(), IDLE);
    EXPECT_TRUE(m.onSysEx(ByteString{0xF0, 0x7D, 0x02, 0xF7}));  // not a version reply: ignored
    EXPECT_TRUE(host.take().empty());

    m.startConfigRequest();
    m.onSysEx(kReply0304);
    EXPECT_EQ(host.take(), (std::vector<std::string>{kQuery, "send F0 7D 02 F7"}));
    m.startProfilesRequest();
    m.onSysEx(kReply0304);
    EXPECT_EQ(host.take(), (std::vector<std::string>{kQuery, "send F0 7D 06 F7"}));
    m.startManualVersion();
    m.onSysEx(kReply0302);
    EXPECT_EQ(host.take(), (std::vector<std::string>{kQuery, "timer 2000", "ansi Version: 03.02"}));
    EXPECT_EQ(m.state(), IDLE);
}

TEST(TransferStateMachine, EmptyStreamGoesStraightToStore) {
    FakeHost host;
    TTransferStateMachine m(host);
    m.startConfigTransfer({});
    m.onSysEx(kReply0304);
    host.take();
    m.onSysEx(kReply0304);
    EXPECT_EQ(host.take(),
              (std::vector<std::string>{"info no SysEx packets to send", "info ACK received, write EEPROM",
                                        "caption T2", "send F0 7D 03 F7", "timer 250"}));
    answer(host, m);
    answer(host, m);
    EXPECT_EQ(m.state(), IDLE);
    for (const auto& e : host.events) EXPECT_NE(e, "send ") << "an empty message went out";
}

// Each wait of a transfer ends after its limit with T1 and restored controls.
TEST(TransferStateMachine, TimeOuts) {
    struct Case {
        const char* name;
        int repliesBeforeSilence;  // replies given before the device falls silent
        std::int64_t limit;
        const char* logLine;  // "" where the first-answer time-out logs nothing
        const char* box;
    };
    const Case cases[] = {
        {"first query", 0, 2000, "", "T1"},
        {"second query", 1, 2000, "error no ACK before first SysEx packet, transfer aborted", "T1"},
        {"after packet", 2, 5000, "error no ACK after SysEx packet, transfer aborted", "T1"},
        {"after last packet", 3, 5000, "error no ACK after last SysEx packet, transfer aborted", "T1"},
        // Storing and restarting take the device long; their failures say what happened.
        {"after store", 4, 30000, "error no ACK after write EEPROM, transfer aborted", "store not confirmed"},
        {"after restart", 5, 30000, "error no ACK after Reset, transfer aborted", "no restart"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeHost host;
        TTransferStateMachine m(host);
        const ByteString stream = testing::joined({packet(0), packet(1)});
        m.startConfigTransfer(stream);
        for (int i = 0; i < c.repliesBeforeSilence; ++i) answer(host, m);
        host.take();

        host.advance(c.limit - 1, m);
        EXPECT_NE(m.state(), IDLE);
        for (const auto& e : host.events) EXPECT_NE(e, c.box);
        host.advance(c.limit, m);
        EXPECT_EQ(m.state(), IDLE);
        EXPECT_FALSE(host.timerRunning);
        std::vector<std::string> tail(host.events.end() - (c.logLine[0] ? 3 : 2), host.events.end());
        std::vector<std::string> expected;
        if (c.logLine[0]) expected.push_back(c.logLine);
        expected.push_back(c.box);
        expected.push_back("InitSendButton");
        EXPECT_EQ(tail, expected);
    }
}

// A packet or command the port refuses never reaches the device, which still
// answers the next query: the transfer must end there instead of reporting a
// device that lacks an element (or never stored) as done.
TEST(TransferStateMachine, RefusedPacketOrCommandEndsTheTransfer) {
    const ByteString p0 = packet(0), p1 = packet(1);
    const struct {
        const char* name;
        ByteString refused;
        const char* logLine;
        int packetsSent;
    } cases[] = {
        {"first packet", p0, "error SysEx packet could not be sent, transfer aborted", 0},
        {"last packet", p1, "error SysEx packet could not be sent, transfer aborted", 1},
        {"store command",
         {0xF0, 0x7D, 0x03, 0xF7},
         "error write EEPROM could not be sent, transfer aborted",
         2},
        {"restart byte", {0xFF}, "error Reset could not be sent, transfer aborted", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        struct StageHost : FakeHost {
            std::vector<TransferStage> stages;
            void stageReached(TransferStage stage, int, int) override { stages.push_back(stage); }
        } host;
        host.refused = {c.refused};
        TTransferStateMachine m(host);
        m.startConfigTransfer(testing::joined({p0, p1}));
        for (int i = 0; i < 8 && m.state() != IDLE; ++i) answer(host, m);

        EXPECT_EQ(m.state(), IDLE);
        EXPECT_FALSE(host.timerRunning);
        const auto& e = host.events;
        const auto refusedAt = std::find(e.begin(), e.end(), "refused " + HexBytes(c.refused));
        ASSERT_NE(refusedAt, e.end());
        EXPECT_EQ(std::vector<std::string>(refusedAt + 1, e.end()),
                  (std::vector<std::string>{c.logLine, "T1", "InitSendButton"}));
        EXPECT_EQ(std::count(host.stages.begin(), host.stages.end(), TransferStage::PacketSent),
                  c.packetsSent);
        ASSERT_FALSE(host.stages.empty());
        EXPECT_EQ(host.stages.back(), TransferStage::Aborted);
        EXPECT_EQ(std::count(host.stages.begin(), host.stages.end(), TransferStage::Finished), 0);
    }
}

// The progress bar moves once per answered step and is full only at the end:
// packets answered, then the store, then the restart.
TEST(TransferStateMachine, ProgressFollowsTheAnsweredSteps) {
    struct ProgressHost : FakeHost {
        std::vector<int> values;
        int maximum = 0;
        void stageReached(TransferStage stage, int index, int count) override {
            const TransferProgress p = transferProgress(stage, index, count);
            values.push_back(p.value);
            maximum = p.maximum;
        }
    };
    for (int packets : {0, 1, 3}) {
        SCOPED_TRACE(packets);
        ProgressHost host;
        TTransferStateMachine m(host);
        ByteString stream;
        for (int i = 0; i < packets; ++i) {
            const ByteString p = packet(static_cast<std::uint8_t>(i));
            stream.insert(stream.end(), p.begin(), p.end());
        }
        m.startConfigTransfer(stream);
        for (int i = 0; i < 10 && m.state() != IDLE; ++i) answer(host, m);
        std::vector<int> expected;
        for (int v = 0; v <= packets + 2; ++v) expected.push_back(v);
        EXPECT_EQ(host.values, expected);
        EXPECT_EQ(host.maximum, packets + 2);
    }
    // A failed transfer empties the bar.
    EXPECT_EQ(transferProgress(TransferStage::Aborted, 2, 3).value, 0);
}

// The box names the ports; a port that is not open is said first, because
// then the device never had a chance to answer.
TEST(TransferStateMachine, FailureReportNamesThePorts) {
    const std::string t1(text("transfer.notResponding", "en"));
    const struct {
        const char* name;
        TransferFailure failure;
        PortReport in, out;
        std::string expected;
    } cases[] = {
        {"both open",
         TransferFailure::NotResponding,
         {"Dev Out", true},
         {"Dev In", true},
         t1 + "\n\nMIDI ports used:\nMIDI In: Dev Out (open)\nMIDI Out: Dev In (open)"},
        {"input closed",
         TransferFailure::NotResponding,
         {"Dev Out", false},
         {"Dev In", true},
         "Note: not all MIDI ports are open, so nothing can reach Korvane or come back from it.\n\n" + t1 +
             "\n\nMIDI ports used:\nMIDI In: Dev Out (not open)\nMIDI Out: Dev In (open)"},
        {"nothing chosen",
         TransferFailure::NoRestart,
         {"", false},
         {"", false},
         "Note: not all MIDI ports are open, so nothing can reach Korvane or come back from it.\n\n" +
             std::string(text("transfer.noRestart", "en")) +
             "\n\nMIDI ports used:\nMIDI In: none chosen (not open)\nMIDI Out: none chosen (not open)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(failureReport(c.failure, "en", c.in, c.out), c.expected);
    }
    EXPECT_EQ(failureReport(TransferFailure::StoreNotConfirmed, "de", {"a", true}, {"b", true})
                  .find(text("transfer.storeNotConfirmed", "de")),
              0u);
}

// The monitor's buttons stay usable while a transfer runs. A request started
// then takes the machine over; the transfer it ends must give the send
// controls back, or the user could never send again.
TEST(TransferStateMachine, RequestDuringATransferRestoresTheSendControls) {
    struct Starter {
        const char* name;
        void (TTransferStateMachine::*start)();
        TMyStateMachine state;
    };
    const Starter starters[] = {
        {"firmware version", &TTransferStateMachine::startManualVersion, MANUAL_GET_VERSION},
        {"configuration dump", &TTransferStateMachine::startConfigRequest, GET_CONFIG_WAIT_VERSION},
        {"profile dump", &TTransferStateMachine::startProfilesRequest, GET_PROFILES_WAIT_VERSION},
    };
    for (const auto& s : starters) {
        for (int replies = 0; replies <= 5; ++replies) {  // every stage of a two-packet transfer
            SCOPED_TRACE(std::string(s.name) + " after " + std::to_string(replies) + " replies");
            FakeHost host;
            TTransferStateMachine m(host);
            const ByteString stream = testing::joined({packet(0), packet(1)});
            m.startConfigTransfer(stream);
            for (int i = 0; i < replies; ++i) answer(host, m);
            host.take();

            (m.*s.start)();
            const auto events = host.take();
            EXPECT_EQ(std::count(events.begin(), events.end(), "InitSendButton"), 1);
            EXPECT_EQ(m.state(), s.state);
            // The request itself still runs.
            EXPECT_EQ(std::count(events.begin(), events.end(), kQuery), 1);
        }
    }
    // Without a transfer there is nothing to give back.
    FakeHost host;
    TTransferStateMachine m(host);
    m.startManualVersion();
    m.startConfigRequest();
    m.startProfilesRequest();
    const auto events = host.take();
    EXPECT_EQ(std::count(events.begin(), events.end(), "InitSendButton"), 0);
}

}  // namespace
}  // namespace korvane
