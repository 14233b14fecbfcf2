#pragma once
// The one table of the program's user texts, German and English.
//
// Every text that a window, box, caption or tool shows lives here exactly
// once and is looked up by key at the moment it is shown, so a change of
// language takes effect on the next showing without copies to keep in step.

#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

namespace korvane {

struct TextEntry {
    std::string_view key;
    std::string_view de;
    std::string_view en;
};

// The text for key in the given language: "en" gives English, every other
// code gives German (the program's default). An unknown key yields the key
// itself, so a missing entry shows up on screen instead of an empty label.
std::string_view text(std::string_view key, std::string_view language);

// Convenience for texts with one "%s" placeholder (file names, node names).
std::string textWith(std::string_view key, std::string_view language, std::string_view value);

// The text for key with each "%s" replaced by the next value, in order;
// placeholders beyond the values stay as they are.
std::string textWithAll(std::string_view key, std::string_view language,
                        std::initializer_list<std::string_view> values);

// A text as a box or terminal shows it: every line end ("\r\n", "\n\r" or a
// lone "\r") becomes one "\n". Some of the device texts end their lines in
// "\n\r", which a box would show as an extra blank line each.
std::string normalizeLineEnds(std::string_view text);

// Whether the table holds key.
bool hasText(std::string_view key);

// The whole table, for checks (unique keys, both languages filled).
std::span<const TextEntry> allTexts();

}  // namespace korvane
