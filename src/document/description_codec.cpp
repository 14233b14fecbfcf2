#include "description_codec.h"

namespace korvane {
namespace {

// Characters with codes 1..32 separate fields like "#" does (blank, tab, line
// breaks and the other control characters). Code 0 is an ordinary character.
bool isSeparatorChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 1 && u <= 32;
}

bool needsQuotes(std::string_view line) {
    for (char c : line) {
        if (c == '"' || c == '#' || isSeparatorChar(c)) return true;
    }
    return false;
}

}  // namespace

std::string encodeDescription(const std::vector<std::string>& lines) {
    // A single empty line would otherwise vanish: an empty attribute reads
    // back as no lines at all.
    if (lines.size() == 1 && lines.front().empty()) return "\"\"";
    std::string out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) out += '#';
        const std::string& line = lines[i];
        if (!needsQuotes(line)) {
            out += line;
            continue;
        }
        out += '"';
        for (char c : line) {
            if (c == '"') out += '"';
            out += c;
        }
        out += '"';
    }
    return out;
}

std::vector<std::string> decodeDescription(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t i = 0;
    const std::size_t n = text.size();
    auto skipSeparators = [&] {
        while (i < n && isSeparatorChar(text[i])) ++i;
    };
    skipSeparators();
    while (i < n) {
        std::string field;
        if (text[i] == '"') {
            ++i;
            while (i < n) {
                if (text[i] == '"') {
                    if (i + 1 < n && text[i + 1] == '"') {
                        field += '"';
                        i += 2;
                        continue;
                    }
                    ++i;  // closing quote
                    break;
                }
                field += text[i++];
            }
        } else {
            while (i < n && text[i] != '#' && !isSeparatorChar(text[i])) field += text[i++];
        }
        lines.push_back(std::move(field));
        skipSeparators();
        if (i < n && text[i] == '#') {
            ++i;
            skipSeparators();
            // A "#" that ends the text still announces one more line.
            if (i == n) lines.emplace_back();
        }
    }
    return lines;
}

}  // namespace korvane
