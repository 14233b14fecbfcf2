#pragma once
// What the device answers when it is asked for its stored configuration
// (F0 7D 02 F7) or its motor profiles (F0 7D 06 F7), and how that answer is
// compared with what the editor would send.
//
// The device's dump format is not laid down anywhere we could rely on, so it
// is read by exactly one reader per format, behind the DumpReader interface.
// The one format known today is the echo format: every stored packet comes
// back exactly as it was received, only with its command byte replaced by the
// request's (02 or 06), and the dump ends with the bare request frame
// (F0 7D 02 F7 / F0 7D 06 F7) as its end marker. Whatever does not fit that
// format is refused as a whole; the reader never guesses.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sysex.h"

namespace korvane {

enum class DumpKind { Configuration, MotorProfiles };

// The request byte of a dump (0x02 / 0x06), which is also the command byte
// of every packet in it and of its end marker.
std::uint8_t dumpCommand(DumpKind kind);
// Highest index a packet of the dump may carry: element 63 or fader 8.
int dumpMaxIndex(DumpKind kind);

// One packet of a dump as it arrived.
struct DumpPacket {
    ByteString packet;                      // the bytes received, command byte as the device sent it
    PacketFault fault = PacketFault::None;  // None or Checksum
    int index = -1;                         // element number / fader index as the packet gives it
    ByteString payload;                     // the checked payload (empty when faulty)
    bool ok() const { return fault == PacketFault::None; }
};

struct DeviceDump {
    DumpKind kind = DumpKind::Configuration;
    std::vector<DumpPacket> packets;  // in the order received
    // The checked packets only, each with the command byte the editor sends
    // (01 / 04), so they can be compared with the encoder's packets byte by
    // byte and printed like them.
    std::vector<ByteString> sendablePackets() const;
    // Packets that failed their checksum.
    int faultyCount() const;
};

// Reads one dump format from the messages that arrive after the request.
class DumpReader {
public:
    enum class Step { NeedMore, Complete, NotRecognised };
    virtual ~DumpReader() = default;
    // One received SysEx message (F0 .. F7). After Complete or NotRecognised
    // the reader takes nothing more.
    virtual Step feed(const ByteString& message) = 0;
    virtual const DeviceDump& dump() const = 0;
    // Why the dump was refused (English, for the log and the tool).
    virtual const std::string& problem() const = 0;
};

// The reader of the echo format described above.
std::unique_ptr<DumpReader> makeDumpReader(DumpKind kind);

// Most messages a dump may have before it is refused: a device that never
// stops sending cannot keep the fetch alive for ever.
inline constexpr int kMaxDumpMessages = 256;

// Reads a whole dump at once (tests, tools): NotRecognised when a message
// does not fit, NeedMore when the end marker is missing.
DumpReader::Step readDump(DumpKind kind, const std::vector<ByteString>& messages, DeviceDump& out,
                          std::string* problem = nullptr);

// ---- Comparison with the encoder's packets, element by element. ----

enum class ElementState {
    Unassigned,     // neither the library nor the device has a packet
    Same,           // both have it, byte for byte equal
    Different,      // both have it, the bytes differ
    OnlyInLibrary,  // the configuration assigns it, the device holds nothing
    OnlyOnDevice,   // the device holds a packet, the configuration assigns nothing
    Faulty,         // the device's packet for it failed its checksum
};

struct ConfigComparison {
    std::array<ElementState, 64> states{};
    // Faulty packets whose element number could not be told (out of range).
    int unplacedFaults = 0;
    // Elements that are not Unassigned or Same, plus unplaced faults.
    int differing() const;
    bool equal() const { return differing() == 0; }
};

// libraryPackets: the encoder's packets (command 01) of one configuration.
ConfigComparison compareWithDevice(const std::vector<ByteString>& libraryPackets, const DeviceDump& dump);

}  // namespace korvane
