#pragma once
// The motor profile table and everything computed from it without a window:
// the fader text stored in the profile document, the hex text and packets
// sent to the device, and the rules a dragged curve point obeys.
//
// A profile holds nine curves (faders 1..8 and the master fader), each of
// ten points in increasing order of position difference. A point's speed is
// kept in internal units of 32 per speed step, as the drawing uses it; the
// document and the device only ever see whole speed steps.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "sysex.h"

namespace korvane {

constexpr int kMotorFaderCount = 9;
constexpr int kMotorPointCount = 10;
// Internal speed units per speed step.
constexpr int kSpeedUnitsPerStep = 32;
// The fader index of the master fader.
constexpr int kMasterFader = 8;

// One fader's curve; all values zero when made.
struct TMotorProfilTabellenEintrag {
    std::array<std::int32_t, kMotorPointCount> Differenz{};
    std::array<std::int32_t, kMotorPointCount> Geschwindigkeit{};

    bool operator==(const TMotorProfilTabellenEintrag&) const = default;
};

// The profile being edited: one curve per fader index.
struct TMotorProfilTabelle {
    std::array<TMotorProfilTabellenEintrag, kMotorFaderCount> MotorProfile{};
};

// "Fader 1" ... "Fader 8", "Fader M" for the master fader.
std::string faderLabel(int faderIndex);

// A whole decimal number with an optional sign and blanks around it, as the
// edits of the window hold them; nothing for anything else or a number
// outside 32 bits.
std::optional<std::int32_t> parseInteger(std::string_view text);

// Speed step of an internal speed value, truncated towards zero.
constexpr std::int32_t speedStep(std::int32_t geschwindigkeit) {
    return geschwindigkeit / kSpeedUnitsPerStep;
}

// ---- The fader text of the profile document ------------------------------

// Reads a fader text into entry: the differences of points 9..0, then the
// speed steps of points 9..0, separated by commas. Only digits count; every
// other character between them is ignored, so "-5" reads as 5. A short text
// leaves what it does not reach as it was; values beyond the twentieth are
// dropped.
void FaderStringInArray(std::string_view FaderString, TMotorProfilTabellenEintrag& entry);

// The fader text of entry: twenty numbers joined by ", ".
std::string ArrayToString(const TMotorProfilTabellenEintrag& entry);

// ---- What goes to the device ----------------------------------------------

// The points as upper-case hex byte text, (difference, speed step) pairs from
// point 9 down to point 0, each at least two digits, joined by ", ".
std::string ArrayToHex(const TMotorProfilTabellenEintrag& entry);

// The byte of a positioning-time edit: its text as a number (10 when it is
// no number), low 8 bits.
std::uint8_t positioningTimeByte(std::string_view text);

// A curve value the device cannot take: every value travels as one byte.
struct ValueOutsideByte {
    int fader = 0;           // fader index
    int point = 0;           // point index
    bool speed = false;      // the speed step (true) or the difference (false)
    std::int32_t value = 0;  // as it would be sent (the speed step, not internal units)
};

// The first value of the table (fader by fader, point 9 down to 0 as the
// packet lists them) that does not fit one byte; nothing when all fit.
std::optional<ValueOutsideByte> firstValueOutsideByte(const TMotorProfilTabelle& table);

// The 23-byte payload of one fader's profile packet: fader index, factor
// byte, constant byte, then (difference, speed step) of points 9..0. Values
// are taken as their low byte; check firstValueOutsideByte first.
ByteString MotorProfilePayload(const TMotorProfilTabellenEintrag& entry, int fader, std::uint8_t factor,
                               std::uint8_t constant);

// The whole 52-byte packet (command 0x04) of one fader.
ByteString MotorProfilePacket(const TMotorProfilTabellenEintrag& entry, int fader, std::uint8_t factor,
                              std::uint8_t constant);

// F0 7D 05 F7: the device stores the profiles it received.
ByteString MotorProfileCommitPacket();

// Channel volume 64 on channels 1..9, so that every motor fader moves to the
// middle: the fader test.
inline constexpr std::string_view kFaderTestHexText =
    "b0,07,40,b1,07,40,b2,07,40,b3,07,40,b4,07,40,b5,07,40,b6,07,40,b7,07,40,b8,07,40";

// ---- Copying curves between faders ------------------------------------------

// Copies the curve of source to destination, or to every other fader when
// destination is -1. Indices outside 0..8 change nothing.
void CopyProfile(TMotorProfilTabelle& table, int source, int destination);

// ---- Dragging a point -----------------------------------------------------

struct ScreenPoint {
    int x = 0;
    int y = 0;
    bool operator==(const ScreenPoint&) const = default;
};

// Screen position of a curve point: difference to the right of offX, speed
// upwards from offY + 256.
ScreenPoint pointPosition(const TMotorProfilTabellenEintrag& entry, int point, int offX, int offY);

struct DragRules {
    int offX = 0;  // screen x of difference 0
    int offY = 0;  // screen y of speed 256 (the top of the area)
    int quantX = 1;
    int quantY = kSpeedUnitsPerStep;
    bool horizontal = true;  // point 0 stays at difference 0
    bool vertical = true;
    bool monotonic = true;              // the speed stays between the neighbours' speeds
    std::optional<ScreenPoint> before;  // the point to the left, if any
    std::optional<ScreenPoint> after;   // the point to the right, if any
};

// Where a point at current lands when the mouse asks for wanted: clamped to
// the area (difference 0..255, speed 0..256), quantised, kept between its
// neighbours. The difference stops at 255 rather than at the right edge of
// the area, because the device takes each difference as one byte.
ScreenPoint dragPoint(ScreenPoint current, ScreenPoint wanted, const DragRules& rules);

}  // namespace korvane
