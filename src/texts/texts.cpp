#include "texts.h"

#include <algorithm>
#include <vector>

namespace korvane {
namespace {

// The table is assembled from one fragment per subsystem so that the
// subsystems can add their texts without touching each other's lines.
constexpr TextEntry kTexts[] = {
#include "texts_common.inc"
#include "texts_connection.inc"
#include "texts_document.inc"
#include "texts_file_safety.inc"
#include "texts_finish.inc"
#include "texts_library.inc"
#include "texts_log.inc"
#include "texts_mainwindow.inc"
#include "texts_midi.inc"
#include "texts_monitor.inc"
#include "texts_motorprofile.inc"
#include "texts_readback.inc"
#include "texts_transfer.inc"
};

// Sorted view of the table for lookups by key; built once on first use.
const std::vector<const TextEntry*>& index() {
    static const std::vector<const TextEntry*> sorted = [] {
        std::vector<const TextEntry*> v;
        v.reserve(std::size(kTexts));
        for (const auto& e : kTexts) v.push_back(&e);
        std::stable_sort(v.begin(), v.end(),
                         [](const TextEntry* a, const TextEntry* b) { return a->key < b->key; });
        return v;
    }();
    return sorted;
}

const TextEntry* find(std::string_view key) {
    const auto& v = index();
    auto it = std::lower_bound(v.begin(), v.end(), key,
                               [](const TextEntry* e, std::string_view k) { return e->key < k; });
    if (it != v.end() && (*it)->key == key) return *it;
    return nullptr;
}

}  // namespace

std::string_view text(std::string_view key, std::string_view language) {
    const TextEntry* e = find(key);
    if (!e) return key;
    return language == "en" ? e->en : e->de;
}

std::string textWith(std::string_view key, std::string_view language, std::string_view value) {
    std::string result(text(key, language));
    auto pos = result.find("%s");
    if (pos != std::string::npos) result.replace(pos, 2, value);
    return result;
}

std::string textWithAll(std::string_view key, std::string_view language,
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

bool hasText(std::string_view key) { return find(key) != nullptr; }

std::string normalizeLineEnds(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\n' && c != '\r') {
            out += c;
            continue;
        }
        out += '\n';
        // The other half of a two-character line end belongs to this one.
        const char partner = c == '\n' ? '\r' : '\n';
        if (i + 1 < text.size() && text[i + 1] == partner) ++i;
    }
    return out;
}

std::span<const TextEntry> allTexts() { return {kTexts, std::size(kTexts)}; }

}  // namespace korvane
