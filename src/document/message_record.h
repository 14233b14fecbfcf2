#pragma once
// The in-memory form of one message as the message panel shows it, how it is
// read from a message node, and the conversions between the stored 14-bit
// scale and what the user sees and types.

#include <array>
#include <cstdint>
#include <optional>
#include <pugixml.hpp>
#include <string>
#include <string_view>

namespace korvane {

enum TMode : std::uint16_t {
    MODE_INVAL = 0,
    MODE_14Bit = 1,
    MODE_7Bit = 2,
    MODE_Taster = 3,
    MODE_Jogwheel = 4,
};

enum TRange : std::uint16_t {
    RANGE_INVAL = 0,
    RANGE_FULL = 1,
    RANGE_ABS = 2,
    RANGE_PERCENT = 3,
};

struct TMessageRecord {
    std::string MessageLeft;
    std::string MessageRight;
    TMode Mode = MODE_INVAL;
    std::int32_t Minimum = 0;
    std::int32_t Maximum = 0;
    std::int32_t Step = 0;
    std::int32_t Start = 0;
    TRange Range = RANGE_INVAL;

    bool operator==(const TMessageRecord&) const = default;
};

// Defaults of a message's children when they are missing or empty.
inline constexpr std::string_view kDefaultModeText = "14";
inline constexpr std::string_view kDefaultRangeText = "full";
inline constexpr std::int32_t kDefaultMinimum = 0;
inline constexpr std::int32_t kDefaultMaximum = 16383;
inline constexpr std::int32_t kDefaultStep = 1;
inline constexpr std::int32_t kDefaultStart = 0;

// Stored texts: "14", "7", "1", "2" and "full", "absolute", "percent".
// Texts outside these vocabularies give nullopt; the INVAL values give "".
std::optional<TMode> modeFromText(std::string_view text);
std::string_view modeToText(TMode mode);
std::optional<TRange> rangeFromText(std::string_view text);
std::string_view rangeToText(TRange range);

// A min/max/step/start child whose text is not a whole number.
struct MessageReadError {
    std::string child;  // "min", "max", "step" or "start"
    std::string text;   // the offending text as stored
    // The user text ("'%s' ist kein gültiger Integerwert" and its English form).
    std::string message(std::string_view language) const;
};

// Reads a message node into record the way the panel shows a message:
// templates default to empty text; a mode or range text outside the
// vocabularies leaves record's previous Mode or Range; min/max/step/start
// default to 0/16383/1/0. When one of the four numbers is not a whole number
// the error is returned and record is left exactly as it was.
std::optional<MessageReadError> readMessageRecord(pugi::xml_node message, TMessageRecord& record);

// Whole-number reading as used for the four range values: optional blanks
// around an optional sign and decimal digits that fit 32 bits.
std::optional<std::int32_t> parseWholeNumber(std::string_view text);

// Stored 14-bit value -> displayed 7-bit value: trunc(v / 129 + 0.5).
std::int32_t storedToSevenBit(std::int32_t stored);
// Stored 14-bit value -> displayed percentage: trunc(v / 163.83 + 0.5).
std::int32_t storedToPercent(std::int32_t stored);
// Typed 7-bit value -> stored: v * 129; nullopt when it leaves 32 bits.
std::optional<std::int32_t> sevenBitToStored(std::int32_t value);
// Typed percentage -> stored: trunc(p * 163.83); nullopt when p is not finite
// or the result leaves 32 bits.
std::optional<std::int32_t> percentToStored(double percent);

// What the four range edits show for a range choice (the panel's
// AusgabeStellbereich), in the order Max, Min, Step, Start.
struct RangeDisplay {
    enum class Action {
        Clear,      // full range: edits emptied and disabled
        Show,       // edits get texts
        Unchanged,  // the mode has no range values: edits keep what they hold
    };
    Action action = Action::Clear;
    std::array<std::string, 4> maxMinStepStart;
};

// loaded: the record shown last; currentMode: the mode chosen in the panel
// (decides the absolute display); range: the choice to display. The percent
// display follows the loaded message's mode, as the panel always did.
RangeDisplay rangeDisplay(const TMessageRecord& loaded, TMode currentMode, TRange range);

}  // namespace korvane
