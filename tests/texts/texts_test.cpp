#include "texts.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "version.h"

using namespace korvane;

// The table is filled by hand from several fragments; a repeated key would
// make one of two texts unreachable, an empty half would show a blank label.
TEST(Texts, KeysAreUniqueAndBothLanguagesFilled) {
    std::set<std::string_view> seen;
    for (const auto& e : allTexts()) {
        EXPECT_TRUE(seen.insert(e.key).second) << "repeated key " << e.key;
        EXPECT_FALSE(e.de.empty()) << e.key;
        EXPECT_FALSE(e.en.empty()) << e.key;
    }
}

TEST(Texts, LookupByLanguageAndUnknownKey) {
    EXPECT_EQ(text("app.title", "de"), "Korvane Editor");
    EXPECT_EQ(text("app.title", "en"), "Korvane Editor");
    EXPECT_EQ(text("no.such.key", "en"), "no.such.key");
    EXPECT_FALSE(hasText("no.such.key"));
    EXPECT_EQ(textWith("no.such %s", "de", "x"), "no.such x");
}

// Messages that name a file and a reason fill several placeholders in
// order; a value must never be taken for a placeholder itself, and a
// placeholder without a value stays visible rather than vanishing.
TEST(Texts, FillsSeveralPlaceholdersInOrder) {
    struct Row {
        const char* pattern;
        std::initializer_list<std::string_view> values;
        const char* expected;
    };
    const Row rows[] = {
        {"%s: %s", {"a.xml", "disk full"}, "a.xml: disk full"},
        {"%s and %s", {"%s", "x"}, "%s and x"},
        {"%s, %s, %s", {"1"}, "1, %s, %s"},
        {"no values", {"unused"}, "no values"},
        {"100%", {"x"}, "100%"},
    };
    for (const auto& r : rows) EXPECT_EQ(textWithAll(r.pattern, "de", r.values), r.expected) << r.pattern;
}

// Line ends as the boxes show them: one line break per line end, whichever
// of the four spellings the text uses, and blank lines kept.
TEST(Texts, NormalizesLineEnds) {
    struct Row {
        const char* in;
        const char* out;
    };
    const Row rows[] = {
        {"a\n\r\n\rb", "a\n\nb"},  // the device texts' spelling
        {"a\r\n\r\nb", "a\n\nb"}, {"a\rb\nc", "a\nb\nc"},
        {"a\n\nb", "a\n\nb"},     {"\r", "\n"},
        {"end\n\r", "end\n"},     {"", ""},
    };
    for (const auto& r : rows) EXPECT_EQ(normalizeLineEnds(r.in), r.out) << r.in;
    // Every text of the table comes out without a carriage return.
    for (const auto& e : allTexts()) {
        EXPECT_EQ(normalizeLineEnds(e.de).find('\r'), std::string::npos) << e.key;
    }
}

// The window title, the about box and the texts carry the version by hand;
// the executables print the build's version. A new version set in one place
// only would show two different numbers.
TEST(Texts, VersionTextsFollowTheBuildVersion) {
    const std::string version(kVersion);
    const std::pair<const char*, std::string> rows[] = {
        {"app.version", "V" + version},
        {"main.caption.start", "V " + version},
        {"main.caption.config", "V" + version + " - "},
        {"about.Label2", " " + version},
    };
    for (const auto& [key, part] : rows) {
        for (const char* language : {"de", "en"})
            EXPECT_NE(std::string(text(key, language)).find(part), std::string::npos)
                << key << " (" << language << ") lacks " << part;
    }
}
