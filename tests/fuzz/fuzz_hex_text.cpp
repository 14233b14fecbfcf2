// Hex byte text as users type it into the template edits.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_check.h"
#include "panel_logic.h"
#include "sysex.h"

namespace {

struct CountingReport : korvane::HexTextReport {
    int told = 0;
    void invalidHexText(std::string_view) override { ++told; }
};

bool isHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CountingReport report;
    const korvane::ByteString bytes = korvane::StrInSequence(text, &report);
    const auto parsed = korvane::ParseHexText(text);
    FUZZ_CHECK(report.told == (parsed ? 0 : 1), "the report is told exactly when the text is refused");
    FUZZ_CHECK(parsed ? *parsed == bytes : bytes.empty(), "both parsers agree");

    if (parsed) {
        // What the monitor shows of the bytes reads back as the same bytes.
        const auto again = korvane::ParseHexText(korvane::HexBytes(*parsed));
        FUZZ_CHECK(again && *again == *parsed, "hex display reads back");
    }
    // The editor accepts a template only when no digit is dropped, so every
    // pair of digits it lets through becomes one byte.
    if (korvane::panel::isValidTemplateText(text)) {
        std::size_t digits = 0;
        for (char c : text) digits += isHex(c) ? 1 : 0;
        FUZZ_CHECK(parsed.has_value(), "an accepted template parses");
        FUZZ_CHECK(parsed->size() * 2 == digits, "an accepted template loses no digit");
    }
    return 0;
}
