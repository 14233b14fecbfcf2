#pragma once
// The platform MIDI service: the thin layer between the program's ports and
// whatever moves MIDI bytes on this machine.
//
// Two implementations exist:
//   * createRtMidiService(): every MIDI system compiled into the RtMidi
//     library that actually works here (JACK, ALSA sequencer, ...). Devices
//     are listed by port name; a system that cannot start is skipped. JACK
//     is spoken to directly when the program is built with its library
//     (jack_midi.h says why); the others go through RtMidi.
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

// What the MIDI systems print on their own: the JACK library's attempts to
// reach a server, RtMidi's warnings while a system starts. Without a running
// MIDI system that is tens of lines per listing, which would bury the
// program's own messages; they go to this handler instead of standard error
// (the editor's log, a tool's --verbose output), and are dropped while none
// is set. Process-wide; the handler may be called on any thread.
using MidiConsoleHandler = std::function<void(const std::string& line)>;
void setMidiConsoleHandler(MidiConsoleHandler handler);

// A fresh, empty switchboard; services are independent of each other.
std::unique_ptr<MidiService> createLoopbackService();

// One piece of a byte run, as scanMidiMessages hands it out.
struct MidiPiece {
    // A short or real-time message: its status and data bytes in shortBytes
    // (shortLength of them, 1..3). Otherwise a run of bytes of one SysEx in
    // sysex: the run that holds its F0 has sysexBegins set, its last run has
    // sysexEnds set. That last run ends in F7, or the SysEx was cut off (by the
    // end of the bytes or by another status byte) and the run may be empty.
    bool isShort = false;
    std::uint8_t shortBytes[3] = {0, 0, 0};
    std::size_t shortLength = 0;
    std::span<const std::uint8_t> sysex;
    bool sysexBegins = false;
    bool sysexEnds = false;
};

// Bytes of a short message with this status byte, status included (1..3); 0
// for a data byte. F0 counts as 1: a SysEx has no fixed length.
std::size_t shortMessageLength(std::uint8_t status);

// Walks a byte run message by message without allocating, calling
// piece(const MidiPiece&) for each piece in order:
//   - a SysEx runs from F0 to the next F7. Any other status byte before that
//     F7 (a second F0 included) means the SysEx was cut off: it ends there and
//     the status byte starts the next message. A real-time byte (F8..FF)
//     inside a SysEx is handed out on its own, where it stood, and the SysEx
//     goes on after it, as MIDI allows;
//   - a status byte takes as many data bytes as its kind needs, running status
//     repeats the last channel status, a real-time byte between a status and
//     its data is handed out ahead of the message it interrupted;
//   - stray data bytes with no status are dropped.
// Safe on a driver thread: nothing here allocates.
template <class PieceSink>
void scanMidiMessages(std::span<const std::uint8_t> bytes, PieceSink&& piece) {
    auto shortPiece = [&](std::uint8_t status, std::uint8_t d1, std::uint8_t d2, std::size_t length) {
        MidiPiece p;
        p.isShort = true;
        p.shortBytes[0] = status;
        p.shortBytes[1] = d1;
        p.shortBytes[2] = d2;
        p.shortLength = length;
        piece(static_cast<const MidiPiece&>(p));
    };
    auto sysexPiece = [&](std::size_t from, std::size_t to, bool begins, bool ends) {
        MidiPiece p;
        p.sysex = bytes.subspan(from, to - from);
        p.sysexBegins = begins;
        p.sysexEnds = ends;
        piece(static_cast<const MidiPiece&>(p));
    };
    std::uint8_t running = 0;  // last channel status, for running status
    std::size_t i = 0;
    const std::size_t n = bytes.size();
    while (i < n) {
        const std::uint8_t b = bytes[i];
        if (b == 0xF0) {
            std::size_t run = i;
            bool begins = true;
            std::size_t j = i + 1;
            bool ended = false;
            while (j < n) {
                const std::uint8_t c = bytes[j];
                if (c == 0xF7) {
                    sysexPiece(run, j + 1, begins, true);
                    ++j;
                    ended = true;
                    break;
                }
                if (c >= 0xF8) {
                    if (j > run) {
                        sysexPiece(run, j, begins, false);
                        begins = false;
                    }
                    shortPiece(c, 0, 0, 1);
                    run = ++j;
                    continue;
                }
                if (c >= 0x80) break;  // cut off by the next message
                ++j;
            }
            if (!ended) sysexPiece(run, j, begins, true);
            running = 0;
            i = j;
            continue;
        }
        if (b >= 0xF8) {  // real-time: stands alone, does not disturb running status
            shortPiece(b, 0, 0, 1);
            ++i;
            continue;
        }
        std::uint8_t status = b;
        std::size_t j = i + 1;
        if (b < 0x80) {  // data byte: running status, or a stray byte
            if (running == 0) {
                ++i;
                continue;
            }
            status = running;
            j = i;
        } else {
            running = b < 0xF0 ? b : 0;
        }
        const std::size_t need = shortMessageLength(status) - 1;
        std::uint8_t data[2] = {0, 0};
        std::size_t have = 0;
        while (have < need && j < n && (bytes[j] < 0x80 || bytes[j] >= 0xF8)) {
            if (bytes[j] >= 0xF8) {
                shortPiece(bytes[j++], 0, 0, 1);
                continue;
            }
            data[have++] = bytes[j++];
        }
        shortPiece(status, data[0], data[1], 1 + have);
        i = j;
    }
}

// Splits a byte run into single MIDI messages the way scanMidiMessages walks
// it: a SysEx with a real-time byte inside comes after that byte.
std::vector<std::vector<std::uint8_t>> splitMidiMessages(std::span<const std::uint8_t> bytes);

// Two identical interfaces are listed under one name, so a device number is
// opened by its name and its rank among the devices so named: how many
// devices before number id carry the same name. 0 when id does not name a
// device of that name.
std::size_t sameNameRank(const std::vector<std::string>& devices, int id, const std::string& name);

// Whether a backend may send bytes: not empty and not above
// kMaxMidiMessageBytes. Otherwise false, with the reason in *error.
bool checkSendable(std::span<const std::uint8_t> bytes, std::string* error);

}  // namespace korvane
