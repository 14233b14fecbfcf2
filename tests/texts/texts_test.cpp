#include "texts.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

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
