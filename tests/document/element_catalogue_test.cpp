#include "element_catalogue.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace korvane {
namespace {

TEST(ElementCatalogue, NumbersAndNamesConvertBothWays) {
    std::set<std::string_view> names;
    for (int n = 0; n < kElementCount; ++n) {
        const std::string_view name = Wie_lautet_EingabeElementName(n);
        ASSERT_FALSE(name.empty()) << n;
        EXPECT_TRUE(names.insert(name).second) << "duplicate name " << name;
        EXPECT_EQ(Wie_lautet_EingabeElementNummer(name), n) << name;
        EXPECT_EQ(elementInfo(n)->number, n);
    }
}

TEST(ElementCatalogue, NameLookupIsExactAndWhole) {
    struct Case {
        std::string_view name;
        int number;
    };
    const Case cases[] = {
        {"Fader 1", 0},
        {"JogWheel 00", 63},
        {"Drehregler 9 unten (Master)", 46},
        {"Taste Internal/MMC", 28},
        {"fader 1", -1},
        {"Fader 1 ", -1},
        {" Fader 1", -1},
        {"Fader", -1},
        {"JogWheel 0", -1},
        {"Button 1", -1},  // English labels are never keys
        {"", -1},
    };
    for (const auto& c : cases) EXPECT_EQ(Wie_lautet_EingabeElementNummer(c.name), c.number) << c.name;
}

TEST(ElementCatalogue, OutOfRangeNumbersHaveNoElement) {
    for (int n : {-1, 64, 65, 1000}) {
        EXPECT_TRUE(Wie_lautet_EingabeElementName(n).empty()) << n;
        EXPECT_EQ(elementInfo(n), nullptr) << n;
    }
}

TEST(ElementCatalogue, KindsFollowTheNumberBands) {
    for (int n = 0; n < kElementCount; ++n) {
        const ElementKind expected = n <= 8    ? ElementKind::Fader
                                     : n <= 28 ? ElementKind::Button
                                     : n <= 46 ? ElementKind::Encoder
                                     : n == 47 ? ElementKind::JogShuttle
                                               : ElementKind::JogWheel;
        EXPECT_EQ(elementKind(n), expected) << n;
    }
}

TEST(ElementCatalogue, TagsReserveZeroForDecoration) {
    EXPECT_EQ(elementTag(0), 64);
    EXPECT_EQ(elementInfo(0)->tag, 64);
    for (int n = 1; n < kElementCount; ++n) EXPECT_EQ(elementTag(n), n);
    struct Case {
        int tag;
        int number;
    };
    for (const auto& c : {Case{64, 0}, Case{1, 1}, Case{63, 63}, Case{0, -1}, Case{65, -1}, Case{-1, -1}}) {
        EXPECT_EQ(elementNumberFromTag(c.tag), c.number) << c.tag;
    }
}

TEST(ElementCatalogue, JogWheelPicturesNameTheTwosComplementPosition) {
    for (int n = 48; n < kElementCount; ++n) {
        const ElementInfo& e = *elementInfo(n);
        const std::string pos(e.germanName.substr(std::string_view("JogWheel ").size()));
        const int value = std::stoi(pos);
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02X", value & 0xFF);
        EXPECT_EQ(e.picture, std::string("JogWheel") + hex) << e.germanName;
    }
}

TEST(ElementCatalogue, TranslateOnlyButtonsAndEncodersIntoEnglish) {
    struct Case {
        std::string_view name;
        std::string_view english;
    };
    const Case cases[] = {
        {"Drehregler 8 unten", "Endless 8 Lower"},
        {"Drehregler 1 oben", "Endless 1 Upper"},
        {"Drehregler 9 oben (Master)", "Endless 9 Upper (Master)"},
        {"Drehregler 9 unten (Master)", "Endless 9 Lower (Master)"},
        {"Taste 9 (Master)", "Button 9 (Master)"},
        {"Taste Internal/MMC", "Button Internal/MMC"},
        {"JogWheel -8", "JogWheel -8"},
        {"Fader 9 (Master)", "Fader 9 (Master)"},
        {"JogShuttle", "JogShuttle"},
        {"", ""},
        {"Taste 99", "Taste 99"},
        {"taste 1", "taste 1"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Translate(c.name, "en"), c.english) << c.name;
        // Only exactly "en" translates; German and anything else show the key.
        for (std::string_view lang : {"de", "EN", "", "en "})
            EXPECT_EQ(Translate(c.name, lang), c.name) << lang;
    }
}

}  // namespace
}  // namespace korvane
