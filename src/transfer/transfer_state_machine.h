#pragma once
// The acknowledged exchange with the device.
//
// The device has no acknowledgement of its own: after every step the program
// asks for the firmware version (F0 7D 07 F7) and takes the version reply as
// "done". This class drives those exchanges: the configuration transfer
// (packets one at a time, store, restart, wait until the device is back), the
// firmware version button and the two dump requests.
//
// It owns no timer, port or window. A host (the MIDI monitor window in the
// editor, the command-line tool) implements TransferHost and forwards two
// kinds of events:
//   - every received SysEx message          -> onSysEx()
//   - every tick of its repeating timer     -> onTimer()
// Everything runs on the host's one thread; nothing here is locked.
//
// Which reply answers which query. A query carries no number, the device is
// deaf (drops every message) while it stores or restarts, it may skip
// queries, and its reply may take longer than the poll interval. Replies do
// come back in the order of their queries, and a reply that has not come
// within kLatestAnswerMs of its query is taken as never coming. So the
// machine keeps the queries it has sent and not yet seen answered, oldest
// first, and gives each reply to the oldest of them that may still be
// answered. Where the device skipped a query this names a query older than
// the one really answered, never a newer one. A reply counts for the current
// step (a packet, the store command, the restart byte) only if the query it
// is given to went out after that step; any other reply may answer a query
// asked before the step and is dropped. Hence a transfer reports success
// only after the device answered a query sent after the store command and
// then one sent after the restart byte.
//
// Pace. After a step the first query goes out after kPacketPollMs (packets)
// or kStorePollMs (store, restart) and gets its answer time: the poll
// interval plus the device's reply time, measured on the first two queries
// of the transfer, when only one query is on its way. A device that answers
// at once is thus polled every 20 or 250 ms, and one that answers every
// query is asked once per step however slowly it answers. Once a query went
// unanswered, the next ones follow at the poll interval.
//
// Time-outs. The first two queries of a transfer are answered within 2000 ms
// or the transfer ends with the not-responding text. Every later wait ends
// when its time limit is over and at least kMinAttempts queries went
// unanswered; at the poll interval that count is reached well within the
// limit even after a slow device's answer time, so a device that is gone
// fails when the limit is over, and one that skips up to 50 queries still
// gets through: 5 s after a packet (not-responding text), 30 s for the store
// (a text of its own: the data arrived, storing was not confirmed) and 30 s
// for the restart (a text of its own: the device did not come back).

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

#include "sysex.h"

namespace korvane {

enum TMyStateMachine {
    IDLE,
    GET_PROFILES_WAIT_VERSION,
    GET_CONFIG_WAIT_VERSION,
    SEND_CONFIG_WAIT_VERSION,
    SEND_CONFIG_BEGIN,
    CONTINUE_SEND_CONFIG,
    SEND_CONFIG_EEPROM_BRENNEN,
    SEND_CONFIG_WAIT_EEPROM_WRITTEN,
    SEND_CONFIG_RESET_WAIT_VERSIONSABFRAGE,
    MANUAL_GET_VERSION,
};

// Name of a state as written in code ("SEND_CONFIG_BEGIN"), for logs and tests.
std::string_view stateName(TMyStateMachine state);

// Captions the send button takes while the device stores and restarts.
// Text keys: "transfer.caption.saving" (T2), "transfer.caption.initializing"
// (T3), "transfer.caption.backAgain" (T4).
enum class SendCaption { Saving, Initializing, BackAgain };

// Why a transfer ended without success; each has its own text.
// Text keys: "transfer.notResponding" (T1), "transfer.storeNotConfirmed",
// "transfer.noRestart".
enum class TransferFailure { NotResponding, StoreNotConfirmed, NoRestart };
const char* failureTextKey(TransferFailure failure);

// A MIDI port as a failure report names it.
struct PortReport {
    std::string name;  // empty: none chosen
    bool open = false;
};
// The text a failure shows the user: when a port is not open that comes
// first, since then nothing reached the device at all; then the failure's
// own text; then the two ports that were used.
std::string failureReport(TransferFailure failure, std::string_view language, const PortReport& in,
                          const PortReport& out);

// The log levels the machine writes at; the host maps them to LogInfo,
// LogInfoAnsi (8-bit text: the packet dump) and LogError.
enum class TransferLogLevel { Info, InfoAnsi, Error };

// Stages a transfer passes, for hosts that report progress (the tool prints
// one line each). The editor may ignore them.
enum class TransferStage {
    PacketSent,  // packetIndex (1-based) of packetCount has gone out
    Storing,     // store command sent
    Restarting,  // restart byte sent
    Finished,    // device answered after its restart
    Aborted,     // no answer in time; the failure's text was shown
};

// Where a progress bar stands at a stage: the packets the device has taken
// (answered), then one step for the store and one for the restart, out of
// packetCount + 2.
struct TransferProgress {
    int value = 0;
    int maximum = 0;
};
TransferProgress transferProgress(TransferStage stage, int packetIndex, int packetCount);

class TransferHost {
public:
    virtual ~TransferHost() = default;

    // Hand bytes whole, as one long message, to the output port. False when
    // the port did not take them (closed, gone, message too long for it).
    virtual bool MidiSend(const ByteString& bytes) = 0;
    // (Re)start the repeating timer with this interval; stop it.
    virtual void startTimer(int intervalMs) = 0;
    virtual void stopTimer() = 0;
    // Monotonic milliseconds; a fake clock in tests.
    virtual std::int64_t nowMs() = 0;
    // Show the text of a failure (also the not-responding text T1 for a
    // device reporting an unsupported version).
    virtual void showFailure(TransferFailure failure) = 0;
    // Set the send button's caption for a stage of the transfer.
    virtual void setSendCaption(SendCaption caption) = 0;
    // Restore the send controls (normal caption, progress 0, controls enabled).
    virtual void InitSendButton() = 0;
    // One diagnostics log line.
    virtual void log(TransferLogLevel level, std::string_view line) = 0;

    // Optional: a version query is about to go out (the monitor clears its
    // version text here).
    virtual void versionQuerySent() {}
    // Optional: a version reply arrived (the monitor shows "Version: " + text).
    virtual void versionReceived(std::string_view /*text*/) {}
    // Optional: the transfer reached a stage.
    virtual void stageReached(TransferStage /*stage*/, int /*packetIndex*/, int /*packetCount*/) {}
};

class TTransferStateMachine {
public:
    // Timer intervals and time-outs in milliseconds.
    static constexpr int kFirstAnswerMs = 2000;
    static constexpr int kPacketPollMs = 20;
    static constexpr int kStorePollMs = 250;
    static constexpr int kPacketTimeoutMs = 5000;
    static constexpr int kStoreTimeoutMs = 30000;
    static constexpr int kRestartTimeoutMs = 30000;
    // A wait past the first two queries fails only after this many queries;
    // at the poll intervals they fit into every time limit after the
    // slowest answer time (100 x 20 ms + 1.9 s < 5 s, 100 x 250 ms + 2.1 s < 30 s).
    static constexpr int kMinAttempts = 100;
    // A reply later than this after its query is not taken as its answer.
    static constexpr int kLatestAnswerMs = 2000;

    explicit TTransferStateMachine(TransferHost& host);

    // Configuration transfer of a packet stream (concatenated F0 .. F7
    // packets, as KonfigurationSenden builds it). Overwrites any exchange
    // still running. An empty stream skips the packets and goes straight to
    // the store command, so the device ends up with an empty configuration.
    void startConfigTransfer(ByteString stream);
    // Firmware version button: query, the reply is logged.
    void startManualVersion();
    // Dump requests: query first, send the request on the reply.
    // These three end a configuration transfer that is still running; the
    // send controls it had disabled are restored.
    void startConfigRequest();
    void startProfilesRequest();

    // The reply step, called first for every received SysEx message. Returns
    // false when the host should stop handling the remaining queued events of
    // this notification (an unsupported firmware version was reported).
    bool onSysEx(const ByteString& message);
    // The timer step, called on every tick of the host's timer.
    void onTimer();

    // Sends the version query F0 7D 07 F7.
    void VersionsAbfrage();
    // The ports were closed or opened again: a query sent before can never
    // be answered now. Kept, it would take the next reply for itself, and
    // since queries follow each other faster than its answer time runs out
    // it would do so for every reply of the next transfer, each step's first
    // reply then being dropped as an answer to the step before.
    void forgetQueries() { unanswered_.clear(); }

    TMyStateMachine state() const { return MyStateMachine; }
    const ByteString& sysExConfig() const { return SysExConfig; }
    // 1-based positions in the stream of the packet sent last; posEndSys 0: none yet.
    std::int32_t posStartSysValue() const { return posStartSys; }
    std::int32_t posEndSysValue() const { return posEndSys; }
    // Number of packets in the current stream.
    int packetCount() const { return packetCount_; }
    // The device's reply time measured at the start of the transfer.
    int replyTimeMs() const { return replyTimeMs_; }

    // Versions the device may report.
    static bool isSupportedVersion(std::string_view version);

private:
    bool transferRunning() const;
    void abandonRunningTransfer();
    void actOnState();
    void sendNextPacket();
    void abortTransfer(std::string_view reason, TransferFailure failure = TransferFailure::NotResponding);
    void beginWait();
    void beginWait(int pollMs);
    void markStep();
    void forgetExpiredQueries(std::int64_t now);
    void pollOrGiveUp(const char* waitLine, int limitMs, const char* failLine, TransferFailure failure);
    int answerTimeMs() const;
    bool waitsForStepReply() const;

    struct SentQuery {
        std::uint64_t number;
        std::int64_t sentMs;
    };

    TransferHost& host_;
    TMyStateMachine MyStateMachine = IDLE;
    ByteString SysExConfig;
    std::int32_t posStartSys = 0;
    std::int32_t posEndSys = 0;
    int packetCount_ = 0;
    int packetsSent_ = 0;
    std::int64_t waitSinceMs_ = 0;      // when the current step's wait began
    int queriesSinceStep_ = 0;          // version queries asked since the last packet or command
    std::uint64_t queriesSent_ = 0;     // numbers every query sent
    std::uint64_t stepAfter_ = 0;       // queries numbered above this went out after the last step
    std::deque<SentQuery> unanswered_;  // oldest first
    int replyTimeMs_ = 0;
    int pollMs_ = 0;   // the pace of the current wait
    int timerMs_ = 0;  // the interval the host's timer runs at
};

}  // namespace korvane
