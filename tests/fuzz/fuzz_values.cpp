// The value parsers of the message panel: whole numbers, decimals in the
// user's locale, and the 7-bit and percent conversions of the stored scale.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "message_record.h"
#include "panel_logic.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    if (const auto n = korvane::parseWholeNumber(text)) {
        FUZZ_CHECK(korvane::parseWholeNumber(std::to_string(*n)) == n, "a whole number reads back");
    }
    for (std::string_view point : {".", ",", "\xC2\xA0", ""}) {
        if (const auto d = korvane::panel::parseLocaleDecimal(text, point)) {
            FUZZ_CHECK(std::isfinite(*d) && *d >= 0, "a typed decimal is a finite, non-negative number");
            (void)korvane::percentToStored(*d);
        }
    }

    // The first bytes also stand for numbers, to reach every stored value.
    std::int32_t stored = 0;
    double percent = 0;
    if (size >= sizeof stored) std::memcpy(&stored, data, sizeof stored);
    if (size >= sizeof percent) std::memcpy(&percent, data, sizeof percent);
    (void)korvane::storedToSevenBit(stored);
    (void)korvane::storedToPercent(stored);
    (void)korvane::sevenBitToStored(stored);
    if (const auto s = korvane::percentToStored(percent)) (void)korvane::storedToPercent(*s);

    // What the user types in range shows again as typed.
    const std::int32_t seven = static_cast<std::int32_t>(static_cast<std::uint32_t>(stored) % 128);
    const auto s7 = korvane::sevenBitToStored(seven);
    FUZZ_CHECK(s7 && korvane::storedToSevenBit(*s7) == seven, "a 7-bit value survives the stored scale");
    const std::int32_t whole = static_cast<std::int32_t>(static_cast<std::uint32_t>(stored) % 101);
    const auto sp = korvane::percentToStored(whole);
    FUZZ_CHECK(sp && korvane::storedToPercent(*sp) == whole, "a whole percentage survives the stored scale");
    return 0;
}
