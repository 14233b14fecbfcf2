#pragma once
// The platform MIDI service: the thin layer between the program's ports and
// whatever moves MIDI bytes on this machine.
//
// Two implementations exist:
//   * createRtMidiService(): every MIDI system compiled into the RtMidi
//     library that actually works here (JACK, ALSA sequencer, ...). Devices
//     are listed by port name; a system that cannot start is skipped.
//   * createLoopbackService(): an in-process switchboard for unit tests. A
//     virtual output port shows up as an input device of the same name and a
//     virtual input port as an output device, exactly as on a real system.
//
// Threading: list/open/send are called from one thread at a time (the user
// interface thread in the editor, the main thread in the tools). The input
// callback runs on the backend's own thread (for the loopback: on the thread
// that sends). It must not block or allocate; the bytes it receives are only
// valid during the call and must be copied.
//
// Errors never escape as exceptions: opening returns null and fills the
// error text; sending returns false and fills the error text; problems that
// happen later on a backend thread go to the error handler, if one is set.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace korvane {

// Largest single message the service accepts. A JACK MIDI buffer holds a
// little more than 16 KB per cycle and a larger event is dropped without a
// word, so the service refuses such a message up front with an error.
inline constexpr std::size_t kMaxMidiMessageBytes = 16000;

// Called on the backend thread with one complete MIDI message (a SysEx from
// F0 to F7, or one short/real-time message) and the arrival time in seconds
// of a monotonic clock (std::chrono::steady_clock).
using MidiInputCallback = std::function<void(std::span<const std::uint8_t> bytes, double timestampSeconds)>;

// Receives errors that are not the answer to a call (a backend warning, a
// port that went away). May be called on any thread.
using MidiErrorHandler = std::function<void(const std::string& message)>;

// An open input. Destroying it closes the port; once the destructor has
// returned the callback is not called again.
class MidiInputConnection {
public:
    virtual ~MidiInputConnection() = default;
    // The name the port was opened under.
    virtual const std::string& name() const = 0;
};

// An open output.
class MidiOutputConnection {
public:
    virtual ~MidiOutputConnection() = default;
    virtual const std::string& name() const = 0;
    // Sends bytes, which may be one message or a run of messages: a run of
    // short messages is split into single messages before it reaches the
    // backend, a SysEx (F0 ... F7) goes out whole. Returns false and fills
    // error (if given) when nothing could be sent: empty input, a message
    // above kMaxMidiMessageBytes, or a backend failure. Returns once the
    // backend has taken the bytes.
    virtual bool send(std::span<const std::uint8_t> bytes, std::string* error = nullptr) = 0;
};

class MidiService {
public:
    virtual ~MidiService() = default;

    // Port names as the user should see and store them (ALSA's changing
    // client:port number is stripped). Order is stable while nothing is
    // plugged in or out. The RtMidi service leaves out the ports of its own
    // client; the loopback lists every port, as it plays both sides in tests.
    virtual std::vector<std::string> inputPortNames() = 0;
    virtual std::vector<std::string> outputPortNames() = 0;

    // Open a listed port by its exact name. SysEx is always delivered.
    // Two identical interfaces may be listed under one name; occurrence
    // picks among them in listing order (0: the first so named).
    virtual std::unique_ptr<MidiInputConnection> openInput(const std::string& name,
                                                           MidiInputCallback callback, std::string& error,
                                                           std::size_t occurrence = 0) = 0;
    virtual std::unique_ptr<MidiOutputConnection> openOutput(const std::string& name, std::string& error,
                                                             std::size_t occurrence = 0) = 0;

    // Create ports that other programs can connect to (the device simulator
    // uses them). A virtual input receives what others send to it; a virtual
    // output is listed by others as an input. The full name others see is
    // returned by name() of the connection.
    virtual std::unique_ptr<MidiInputConnection> openVirtualInput(const std::string& portName,
                                                                  MidiInputCallback callback,
                                                                  std::string& error) = 0;
    virtual std::unique_ptr<MidiOutputConnection> openVirtualOutput(const std::string& portName,
                                                                    std::string& error) = 0;

    // Where asynchronous errors go; may be empty.
    virtual void setErrorHandler(MidiErrorHandler handler) = 0;

    // Human-readable names of the working backends, for logs and --help
    // output ("JACK", "loopback"). Empty when no MIDI system is usable.
    virtual std::vector<std::string> backendNames() const = 0;
};

// clientName is how the program appears to the MIDI system (e.g. in JACK
// port names "clientName:portName"). Never throws; with no working MIDI system
// the service lists nothing and every open fails with an error text.
std::unique_ptr<MidiService> createRtMidiService(const std::string& clientName);

// A fresh, empty switchboard; services are independent of each other.
std::unique_ptr<MidiService> createLoopbackService();

// Splits a byte run into single MIDI messages: a SysEx runs from F0 to the
// next F7 (or to the end), a status byte takes as many data bytes as its kind
// needs, running status repeats the last channel status, real-time bytes
// (F8..FF) stand alone, and stray data bytes with no status are dropped.
std::vector<std::vector<std::uint8_t>> splitMidiMessages(std::span<const std::uint8_t> bytes);

// Two identical interfaces are listed under one name, so a device number is
// opened by its name and its rank among the devices so named: how many
// devices before number id carry the same name. 0 when id does not name a
// device of that name.
std::size_t sameNameRank(const std::vector<std::string>& devices, int id, const std::string& name);

// Whether a backend may send bytes: not empty and not above
// kMaxMidiMessageBytes. Otherwise false, with the reason in *error.
bool checkSendable(std::span<const std::uint8_t> bytes, std::string* error);

// Bytes of a short message with this status byte, status included (1..3); 0
// for a data byte. F0 counts as 1: a SysEx has no fixed length.
std::size_t shortMessageLength(std::uint8_t status);

}  // namespace korvane
