#pragma once
// How the monitor writes MIDI traffic as text lines, and the fixed byte texts
// and test-signal values of its send panel. No Qt here: the window only turns
// the lines into its view.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::monitor {

// What the bytes-per-line edit gives when it holds no usable number, and the
// most it accepts: one line per SysEx buffer at most, so a typing slip cannot
// build megabyte-long lines.
inline constexpr int kDefaultBytesPerLine = 16;
inline constexpr int kMaxBytesPerLine = 4096;
// The pause after which a divider follows a run of short messages.
inline constexpr int kDefaultDividerMs = 200;

// Every line of an outgoing message starts with this mark, so both
// directions can share one view and still be told apart (also in a saved
// file). Incoming lines carry no mark.
inline constexpr std::string_view kOutgoingMark = "> ";

// The edits' numbers: a whole positive number, else the default. A value of
// 0 bytes per line would never end a line, an interval of 0 would put a
// divider after every message.
int bytesPerLineFrom(std::string_view editText);
int dividerIntervalFrom(std::string_view editText);

// "---" once per byte of a line: 48 dashes for 16 bytes.
std::string divider(int bytesPerLine);

// Seconds since the input was started, right-aligned in ten characters with
// three decimals and the given decimal separator: "     1,500".
std::string timestamp(std::uint32_t timeMs, char decimalPoint);

// A short message as three two-digit hex bytes "90 3C 64"; bytes a message
// does not have show as 00. With a time, it is put in front with " - ".
std::string shortLine(std::span<const std::uint8_t> bytes, std::optional<std::uint32_t> timeMs,
                      char decimalPoint);

// A SysEx message as lines of " XX" per byte, bytesPerLine to a line, the
// last one shorter. In the nibble view the frame's first three bytes are
// left out and each following pair of bytes is shown as the byte it encodes
// (first * 16 + second); a last byte without partner (the F7) is not shown.
std::vector<std::string> sysexLines(std::span<const std::uint8_t> bytes, int bytesPerLine, bool nibbles);

// The four volume buttons: controller 7 on channels 1 to 9, as hex byte text.
struct VolumeButton {
    std::string_view name;  // component name
    std::string_view caption;
    std::string_view bytes;
};
extern const std::array<VolumeButton, 4> kVolumeButtons;

// The sine test: each tick turns the angle by one fiftieth of a circle (one
// period in 2.5 s at 50 ms a tick); channel i (1..9) is a sixteenth of a
// period behind channel i - 1 and gets the value trunc(sin * 63 + 64).
inline constexpr double kSineStep = 0.12566370614359174;
inline constexpr int kSineTickMs = 50;
inline constexpr std::int64_t kSineRunMs = 10000;
std::array<std::uint8_t, 9> sineValues(double angle);

}  // namespace korvane::monitor
