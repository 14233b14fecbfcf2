#pragma once
// Fetching the device's stored configuration or motor profiles.
//
// The exchange: the version query first (the device must be there and run a
// firmware we know), then on its reply the request (F0 7D 02 F7 or
// F0 7D 06 F7), then the dump, read by the dump reader until its end marker.
//
// Like the transfer, this class owns no timer, port or window: a host sends
// bytes, runs one repeating timer, tells the time and forwards every received
// SysEx message (onSysEx) and every timer tick (onTimer). Tests drive it with
// a fake clock.
//
// It never runs together with a configuration transfer: both talk to the
// device through the same version replies, and a dump arriving between the
// packets of a transfer would be taken as acknowledgements. A fetch is not
// started while the host reports a transfer running, and a transfer that
// starts anyway (from another window) ends the fetch. The host in turn keeps
// its send command from starting a transfer while running() is true.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "device_dump.h"
#include "sysex.h"

namespace korvane {

struct FetchResult {
    enum class Outcome {
        Complete,            // the dump arrived up to its end marker
        NoAnswer,            // the version query was not answered in time
        UnsupportedVersion,  // the device runs a firmware the editor does not know (detail: its version)
        NoEndMarker,         // the dump stopped (or never came) without its end marker
        NotRecognised,       // a reply that is not a dump in the known format (detail: why)
        SendFailed,          // the port did not take the query or the request
        Interrupted,         // a configuration transfer started meanwhile
    };
    Outcome outcome = Outcome::Complete;
    DumpKind kind = DumpKind::Configuration;
    DeviceDump dump;     // what arrived (complete only for Complete)
    std::string detail;  // English, for the log and the tool
};

class FetchHost {
public:
    virtual ~FetchHost() = default;
    // One long message to the output port; false when the port did not take it.
    virtual bool MidiSend(const ByteString& bytes) = 0;
    virtual void startTimer(int intervalMs) = 0;
    virtual void stopTimer() = 0;
    // Monotonic milliseconds; a fake clock in tests.
    virtual std::int64_t nowMs() = 0;
    // Whether a configuration transfer is running now.
    virtual bool transferRunning() = 0;
    // The fetch has ended, whichever way. Called once per started fetch.
    virtual void fetchFinished(const FetchResult& result) = 0;
    // One diagnostics log line.
    virtual void log(std::string_view /*line*/) {}
};

class TDeviceFetch {
public:
    // Time for the first answer, as for a transfer.
    static constexpr int kVersionTimeoutMs = 2000;
    // Longest quiet time after the request or the last dump message before
    // the dump counts as ended without its end marker.
    static constexpr int kDumpQuietTimeoutMs = 3000;
    // The timer ticks this often while a fetch runs.
    static constexpr int kTickMs = 100;

    enum class State { Idle, WaitVersion, WaitDump };
    enum class Start { Started, TransferRunning, AlreadyRunning };

    explicit TDeviceFetch(FetchHost& host);

    // Starts a fetch. Nothing is sent when it does not start. A start that
    // fails at once (the port refuses the query) still reports Started and
    // ends with SendFailed.
    Start start(DumpKind kind);
    // Every received SysEx message. True when it was taken as part of the
    // fetch (the version reply it waited for, or a dump message).
    bool onSysEx(const ByteString& message);
    void onTimer();
    // Ends a running fetch without a result (the window closes).
    void cancel();

    State state() const { return state_; }
    bool running() const { return state_ != State::Idle; }

private:
    void finish(FetchResult::Outcome outcome, std::string detail);

    FetchHost& host_;
    State state_ = State::Idle;
    DumpKind kind_ = DumpKind::Configuration;
    std::unique_ptr<DumpReader> reader_;
    std::int64_t waitSinceMs_ = 0;
};

// "Complete", "NoAnswer", ... for logs and tests.
std::string_view outcomeName(FetchResult::Outcome outcome);

// The box a window shows for a fetch that brought no dump: its kind and text
// key. None for Complete, and for UnsupportedVersion, which the monitor's
// reply handling reports already. Every window that reads the device uses
// this, so the same ending reads the same everywhere.
struct FetchOutcomeBox {
    enum class Kind { None, Message, Info, Error };
    Kind kind = Kind::None;
    std::string_view key;
};
FetchOutcomeBox fetchOutcomeBox(FetchResult::Outcome outcome);

// The text key of the box for a fetch that did not start; empty for Started.
std::string_view fetchStartRefusalKey(TDeviceFetch::Start start);

}  // namespace korvane
