// The description codec: the lines of the description field in one
// attribute and back.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "description_codec.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    // Whatever a hand edit left in the attribute reads as lines, and those
    // lines are stored and read back unchanged.
    const std::vector<std::string> read = korvane::decodeDescription(text);
    FUZZ_CHECK(korvane::decodeDescription(korvane::encodeDescription(read)) == read,
               "decoded lines round-trip");

    // The field's lines: the text split at line feeds; an attribute value
    // cannot hold a character 0.
    std::vector<std::string> lines(1);
    for (char c : text) {
        if (c == '\n') {
            lines.emplace_back();
        } else if (c != '\0') {
            lines.back().push_back(c);
        }
    }
    if (size == 0) lines.clear();
    FUZZ_CHECK(korvane::decodeDescription(korvane::encodeDescription(lines)) == lines,
               "field lines round-trip");
    return 0;
}
