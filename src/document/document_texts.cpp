#include "document_texts.h"

#include "texts.h"

namespace korvane::detail {

std::string fillText(std::string_view key, std::string_view language,
                     std::initializer_list<std::string_view> values) {
    const std::string_view pattern = text(key, language);
    std::string out;
    out.reserve(pattern.size() + 64);
    auto next = values.begin();
    std::size_t i = 0;
    while (i < pattern.size()) {
        if (pattern.compare(i, 2, "%s") == 0 && next != values.end()) {
            out += *next++;
            i += 2;
        } else {
            out += pattern[i++];
        }
    }
    return out;
}

}  // namespace korvane::detail
