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
// Time-outs. The first query of a transfer and the query before the first
// packet are answered within 2000 ms or the transfer ends with the
// not-responding text. Once packets flow, the query is repeated (every 20 ms
// after a packet, every 250 ms while storing and restarting) until the device
// answers, but not for ever: 5 s after a packet or the store command, or 10 s
// after the restart, the transfer also ends with the not-responding text.
//
// Stale replies. A device a little slower to answer than the 20 ms poll has
// two queries waiting at once, and the second reply arrives right after the
// first has moved the transfer on. After a packet, the store command or the
// restart byte, a reply that comes before any query has been asked since then
// answers an earlier query: it is logged and does not move the transfer on.
// Otherwise such a reply would send the restart byte while the device is
// still storing, and the restart would be lost with the transfer reported as
// done. (Replies that come later cannot be told apart from real answers: a
// query carries no number.)

#include <cstdint>
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
    Aborted,     // no answer in time; not-responding text shown
};

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
    // Show the not-responding text (text key "transfer.notResponding", T1).
    virtual void showNotResponding() = 0;
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
    static constexpr int kRestartTimeoutMs = 10000;

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

    TMyStateMachine state() const { return MyStateMachine; }
    const ByteString& sysExConfig() const { return SysExConfig; }
    // 1-based positions in the stream of the packet sent last; posEndSys 0: none yet.
    std::int32_t posStartSysValue() const { return posStartSys; }
    std::int32_t posEndSysValue() const { return posEndSys; }
    // Number of packets in the current stream.
    int packetCount() const { return packetCount_; }

    // Versions the device may report.
    static bool isSupportedVersion(std::string_view version);

private:
    bool transferRunning() const;
    void abandonRunningTransfer();
    void actOnState();
    void sendNextPacket();
    void abortTransfer(std::string_view reason);
    void beginWait();
    void markStep();
    bool replyCanAnswerStep() const;

    TransferHost& host_;
    TMyStateMachine MyStateMachine = IDLE;
    ByteString SysExConfig;
    std::int32_t posStartSys = 0;
    std::int32_t posEndSys = 0;
    int packetCount_ = 0;
    int packetsSent_ = 0;
    std::int64_t waitSinceMs_ = 0;  // when the current step's wait began
    int queriesSinceStep_ = 0;      // version queries asked since the last packet or command
};

}  // namespace korvane
