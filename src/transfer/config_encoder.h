#pragma once
// Turns one configuration of the configuration document into the packet
// stream the device takes: one element configuration packet (command 0x01)
// per assigned element, in ascending element number, joined without gaps.
//
// The values are exactly those the message panel would show for the element:
// the stored templates with ",FE" appended, the stored mode, and the range as
// the panel applies it (button and jog-wheel modes always use the full range).
// The editor's send command and the command-line tool both use this one
// function; the editor follows the progress callback to select each assigned
// element on its map and move its progress bar.
//
// A configuration with a broken element (dangling group or message, template
// that is not hex byte text, unreadable mode, range or range number) is
// refused as a whole: no packet of it would be right, and a half-sent
// configuration would leave the device in a state the user never composed.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sysex.h"

namespace korvane {

class ConfigDocument;

// Why an element cannot be encoded.
struct EncodeProblem {
    enum class Reason {
        DanglingGroup,    // detail: the group name
        DanglingMessage,  // detail: the message name
        InvalidLeft,      // detail: the left template text
        InvalidRight,     // detail: the right template text
        InvalidMode,      // detail: the stored mode text
        InvalidRange,     // detail: the stored range text
        InvalidNumber,    // detail: "child: text" of min/max/step/start
    };
    int elementNumber = -1;
    Reason reason = Reason::DanglingGroup;
    std::string detail;
};

// One user text naming every problem, one line per problem.
std::string refusalMessage(const std::vector<EncodeProblem>& problems, std::string_view language);

// The send-factor-zero warning ("Fehler: Sendefaktor gleich 0, ...").
std::string sendFactorZeroMessage(std::string_view language);

class EncoderReport {
public:
    virtual ~EncoderReport() = default;
    // For every element number 0..63 in order, before its packet is built;
    // assigned tells whether the element gets a packet. Only called for a
    // configuration that is encoded (not for a refused one).
    virtual void elementProgress(int /*elementNumber*/, bool /*assigned*/) {}
    // A fader whose range gives a send factor of 0; 256 is sent instead.
    virtual void sendFactorZero(int elementNumber) = 0;
    // The configuration is refused; nothing is to be sent.
    virtual void refused(const std::vector<EncodeProblem>& problems) = 0;
};

struct EncodeResult {
    enum class Status { Ok, UnknownConfiguration, Refused };
    Status status = Status::Ok;
    ByteString stream;                    // empty unless Ok (and empty if nothing is assigned)
    std::vector<ByteString> packets;      // the same packets one by one
    std::vector<EncodeProblem> problems;  // filled when Refused
    bool ok() const { return status == Status::Ok; }
};

// Word values of one element, as they travel (only their low 16 bits are sent).
struct ElementWords {
    std::int32_t a = 0, b = 0, c = 0, d = 0;
    bool sendFactorWasZero = false;
};

// The full-range values.
inline constexpr std::int32_t kFullMinimum = 0;
inline constexpr std::int32_t kFullMaximum = 16383;
inline constexpr std::int32_t kFullStep = 127;
inline constexpr std::int32_t kFullStart = 0;

// Words A..D by element number: faders carry minimum, send factor F, inverse
// factor G, 0; encoders and the jog shuttle minimum, maximum, step, start;
// buttons and jog-wheel positions zeros.
ElementWords elementWords(int elementNumber, std::int32_t minimum, std::int32_t maximum, std::int32_t step,
                          std::int32_t start);

// The payload of one element configuration packet.
ByteString configPayload(int elementNumber, std::uint8_t modeCode, const ElementWords& words,
                         const ByteString& left, const ByteString& right);

// Encodes configuration configName of doc.
EncodeResult KonfigurationSenden(const ConfigDocument& doc, std::string_view configName,
                                 EncoderReport& report);

}  // namespace korvane
