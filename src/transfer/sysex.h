#pragma once
// The byte level of the device protocol: the SysEx frame, the command bytes,
// the nibble form with its checksum, the version reply and the parser for
// hex byte text ("B0,07,7F") as the user writes MIDI bytes.
//
// Everything here is a pure function on byte strings. Byte strings are never
// text: a packet may hold any byte value, so it is a vector of uint8_t.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

using ByteString = std::vector<std::uint8_t>;

namespace sysex {

constexpr std::uint8_t kStart = 0xF0;
constexpr std::uint8_t kEnd = 0xF7;
// Manufacturer byte reserved for non-commercial use; the device answers
// nothing that does not carry it.
constexpr std::uint8_t kManufacturer = 0x7D;
// A lone MIDI System Reset byte restarts the device.
constexpr std::uint8_t kReset = 0xFF;

// Command bytes (third byte of every frame).
constexpr std::uint8_t kCmdConfigPacket = 0x01;     // one element's configuration (data packet)
constexpr std::uint8_t kCmdRequestConfig = 0x02;    // ask for the device's configuration
constexpr std::uint8_t kCmdStoreConfig = 0x03;      // write received configuration to non-volatile memory
constexpr std::uint8_t kCmdMotorProfile = 0x04;     // one fader's motor profile (data packet)
constexpr std::uint8_t kCmdStoreProfiles = 0x05;    // write motor profiles to non-volatile memory
constexpr std::uint8_t kCmdRequestProfiles = 0x06;  // ask for the device's motor profiles
constexpr std::uint8_t kCmdVersionQuery = 0x07;     // ask for the firmware version
constexpr std::uint8_t kCmdVersionReply = 0x08;     // device: version, doubles as acknowledgement

// Length of the version reply F0 7D 08 d1 d2 d3 d4 F7.
constexpr std::size_t kVersionReplyLength = 8;

}  // namespace sysex

// Each byte becomes two bytes: high nibble first, then low nibble.
ByteString SequenceInNibbles(const ByteString& Sequenz);

// One byte c with (sum of Sequenz + c) mod 256 == 0; 0x00 for an empty input.
ByteString Checksum(const ByteString& Sequenz);

// High and low byte of the low 16 bits of Wort (two's complement for negatives).
std::uint8_t GetHigh(std::int32_t Wort);
std::uint8_t GetLow(std::int32_t Wort);

// Device mode code of a message mode ordinal (0 invalid, 1 14-bit, 2 7-bit,
// 3 button, 4 jog wheel): 14, 7, 1, 2, and 0 for anything else.
std::uint8_t ModeToInt(int mode);

// Where the hex text parser reports a text that is not valid hex byte text:
// the editor shows an error box, the command-line tool writes to standard error.
class HexTextReport {
public:
    virtual ~HexTextReport() = default;
    // wholeText is the text exactly as it was handed to the parser.
    virtual void invalidHexText(std::string_view wholeText) = 0;
};

// The user-facing message for an invalid hex text, in the given language.
std::string invalidHexTextMessage(std::string_view wholeText, std::string_view language);

// Parses hex byte text. Any non-hex character separates bytes; two digits of
// one byte must stand together; a trailing lone digit is dropped silently. A
// separator between the two digits of a byte is an error: report (if given)
// is told once and the result is empty.
ByteString StrInSequence(std::string_view text, HexTextReport* report);

// Same parse without any report; nullopt where StrInSequence would report.
std::optional<ByteString> ParseHexText(std::string_view text);

// F0 7D command F7: the frame of every command without a body.
ByteString CommandPacket(std::uint8_t command);

// F0 7D command, nibbles of payload, nibbles of its checksum, F7.
ByteString BuildDataPacket(std::uint8_t command, const ByteString& payload);

// Why a received data packet was not accepted.
enum class PacketFault { None, Frame, OddBody, NibbleRange, Checksum };

struct DecodedPacket {
    PacketFault fault = PacketFault::None;
    std::uint8_t command = 0;
    ByteString payload;  // valid only when fault == None
};

// Checks frame, nibble bytes and checksum of a data packet and recovers its payload.
DecodedPacket DecodeDataPacket(const ByteString& packet);

// A short English description of a packet fault (for logs and the simulator).
std::string_view describeFault(PacketFault fault);

// Exactly 8 bytes, starting F0 7D 08 and ending F7.
bool IsVersionReply(const ByteString& message);

// Version text of a version reply: d1+'0', d2+'0', '.', d3+'0', d4+'0'.
// No range check is made on the digits. Empty when message is no version reply.
std::string VersionText(const ByteString& message);

// The reply a device with this version text sends (the inverse of VersionText);
// characters missing from a short text count as '0'.
ByteString MakeVersionReply(std::string_view versionText);

// Upper-case hex bytes separated by single blanks ("F0 7D 07 F7").
std::string HexBytes(const ByteString& bytes);

}  // namespace korvane
