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

// Every element's number pinned to both of its names: the German name is the
// key in every stored library and the number is what the device is sent, so
// two names swapped in the catalogue would silently reassign elements.
TEST(ElementCatalogue, EveryNumberKeepsItsGermanNameAndEnglishLabel) {
    const struct {
        int number;
        std::string_view german;
        std::string_view english;
    } elements[] = {
        {0, "Fader 1", "Fader 1"},
        {1, "Fader 2", "Fader 2"},
        {2, "Fader 3", "Fader 3"},
        {3, "Fader 4", "Fader 4"},
        {4, "Fader 5", "Fader 5"},
        {5, "Fader 6", "Fader 6"},
        {6, "Fader 7", "Fader 7"},
        {7, "Fader 8", "Fader 8"},
        {8, "Fader 9 (Master)", "Fader 9 (Master)"},
        {9, "Taste 1", "Button 1"},
        {10, "Taste 2", "Button 2"},
        {11, "Taste 3", "Button 3"},
        {12, "Taste 4", "Button 4"},
        {13, "Taste 5", "Button 5"},
        {14, "Taste 6", "Button 6"},
        {15, "Taste 7", "Button 7"},
        {16, "Taste 8", "Button 8"},
        {17, "Taste 9 (Master)", "Button 9 (Master)"},
        {18, "Taste F1", "Button F1"},
        {19, "Taste F2", "Button F2"},
        {20, "Taste F3", "Button F3"},
        {21, "Taste F4", "Button F4"},
        {22, "Taste F5", "Button F5"},
        {23, "Taste Rewind", "Button Rewind"},
        {24, "Taste Forward", "Button Forward"},
        {25, "Taste Play", "Button Play"},
        {26, "Taste Stop", "Button Stop"},
        {27, "Taste Record", "Button Record"},
        {28, "Taste Internal/MMC", "Button Internal/MMC"},
        {29, "Drehregler 1 unten", "Endless 1 Lower"},
        {30, "Drehregler 1 oben", "Endless 1 Upper"},
        {31, "Drehregler 2 oben", "Endless 2 Upper"},
        {32, "Drehregler 2 unten", "Endless 2 Lower"},
        {33, "Drehregler 3 oben", "Endless 3 Upper"},
        {34, "Drehregler 3 unten", "Endless 3 Lower"},
        {35, "Drehregler 4 oben", "Endless 4 Upper"},
        {36, "Drehregler 4 unten", "Endless 4 Lower"},
        {37, "Drehregler 5 oben", "Endless 5 Upper"},
        {38, "Drehregler 5 unten", "Endless 5 Lower"},
        {39, "Drehregler 6 oben", "Endless 6 Upper"},
        {40, "Drehregler 6 unten", "Endless 6 Lower"},
        {41, "Drehregler 7 oben", "Endless 7 Upper"},
        {42, "Drehregler 7 unten", "Endless 7 Lower"},
        {43, "Drehregler 8 oben", "Endless 8 Upper"},
        {44, "Drehregler 8 unten", "Endless 8 Lower"},
        {45, "Drehregler 9 oben (Master)", "Endless 9 Upper (Master)"},
        {46, "Drehregler 9 unten (Master)", "Endless 9 Lower (Master)"},
        {47, "JogShuttle", "JogShuttle"},
        {48, "JogWheel -6", "JogWheel -6"},
        {49, "JogWheel +5", "JogWheel +5"},
        {50, "JogWheel -7", "JogWheel -7"},
        {51, "JogWheel +6", "JogWheel +6"},
        {52, "JogWheel -5", "JogWheel -5"},
        {53, "JogWheel +4", "JogWheel +4"},
        {54, "JogWheel -8", "JogWheel -8"},
        {55, "JogWheel +7", "JogWheel +7"},
        {56, "JogWheel -3", "JogWheel -3"},
        {57, "JogWheel +2", "JogWheel +2"},
        {58, "JogWheel -2", "JogWheel -2"},
        {59, "JogWheel +1", "JogWheel +1"},
        {60, "JogWheel -4", "JogWheel -4"},
        {61, "JogWheel +3", "JogWheel +3"},
        {62, "JogWheel -1", "JogWheel -1"},
        {63, "JogWheel 00", "JogWheel 00"},
    };
    ASSERT_EQ(std::size(elements), std::size_t(kElementCount));
    for (const auto& e : elements) {
        EXPECT_EQ(Wie_lautet_EingabeElementName(e.number), e.german) << e.number;
        EXPECT_EQ(Wie_lautet_EingabeElementNummer(e.german), e.number) << e.german;
        EXPECT_EQ(elementInfo(e.number)->englishLabel, e.english) << e.number;
        EXPECT_EQ(Translate(e.german, "de"), e.german) << e.number;
        // The names of faders, the jog shuttle and the jog wheel positions are
        // shown as they are stored, in both languages.
        const ElementKind kind = elementKind(e.number);
        const bool translated = kind == ElementKind::Button || kind == ElementKind::Encoder;
        EXPECT_EQ(Translate(e.german, "en"), translated ? e.english : e.german) << e.number;
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
