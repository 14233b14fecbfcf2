#include "element_catalogue.h"

#include <array>

namespace korvane {
namespace {

using K = ElementKind;

// The order is the device's element numbering; it is not alphabetical and
// not the strip order (see the encoders and the jog wheel positions).
constexpr std::array<ElementInfo, kElementCount> kCatalogue = {{
    {0, "Fader 1", "Fader 1", K::Fader, "Fader1", 64},
    {1, "Fader 2", "Fader 2", K::Fader, "ImgFader2", 1},
    {2, "Fader 3", "Fader 3", K::Fader, "ImgFader3", 2},
    {3, "Fader 4", "Fader 4", K::Fader, "ImgFader4", 3},
    {4, "Fader 5", "Fader 5", K::Fader, "ImgFader5", 4},
    {5, "Fader 6", "Fader 6", K::Fader, "ImgFader6", 5},
    {6, "Fader 7", "Fader 7", K::Fader, "ImgFader7", 6},
    {7, "Fader 8", "Fader 8", K::Fader, "ImgFader8", 7},
    {8, "Fader 9 (Master)", "Fader 9 (Master)", K::Fader, "ImgFaderM", 8},
    {9, "Taste 1", "Button 1", K::Button, "ImgTaste1", 9},
    {10, "Taste 2", "Button 2", K::Button, "ImgTaste2", 10},
    {11, "Taste 3", "Button 3", K::Button, "ImgTaste3", 11},
    {12, "Taste 4", "Button 4", K::Button, "ImgTaste4", 12},
    {13, "Taste 5", "Button 5", K::Button, "ImgTaste5", 13},
    {14, "Taste 6", "Button 6", K::Button, "ImgTaste6", 14},
    {15, "Taste 7", "Button 7", K::Button, "ImgTaste7", 15},
    {16, "Taste 8", "Button 8", K::Button, "ImgTaste8", 16},
    {17, "Taste 9 (Master)", "Button 9 (Master)", K::Button, "ImgTasteM", 17},
    {18, "Taste F1", "Button F1", K::Button, "ImgTasteF1", 18},
    {19, "Taste F2", "Button F2", K::Button, "ImgTasteF2", 19},
    {20, "Taste F3", "Button F3", K::Button, "ImgTasteF3", 20},
    {21, "Taste F4", "Button F4", K::Button, "ImgTasteF4", 21},
    {22, "Taste F5", "Button F5", K::Button, "ImgTasteF5", 22},
    {23, "Taste Rewind", "Button Rewind", K::Button, "ImgTasteRew", 23},
    {24, "Taste Forward", "Button Forward", K::Button, "ImgTasteForw", 24},
    {25, "Taste Play", "Button Play", K::Button, "ImgTastePlay", 25},
    {26, "Taste Stop", "Button Stop", K::Button, "ImgTasteStop", 26},
    {27, "Taste Record", "Button Record", K::Button, "ImgTasteRec", 27},
    {28, "Taste Internal/MMC", "Button Internal/MMC", K::Button, "ImgTasteInt", 28},
    {29, "Drehregler 1 unten", "Endless 1 Lower", K::Encoder, "ImgInk1u", 29},
    {30, "Drehregler 1 oben", "Endless 1 Upper", K::Encoder, "ImgInk1o", 30},
    {31, "Drehregler 2 oben", "Endless 2 Upper", K::Encoder, "ImgInk2o", 31},
    {32, "Drehregler 2 unten", "Endless 2 Lower", K::Encoder, "ImgInk2u", 32},
    {33, "Drehregler 3 oben", "Endless 3 Upper", K::Encoder, "ImgInk3o", 33},
    {34, "Drehregler 3 unten", "Endless 3 Lower", K::Encoder, "ImgInk3u", 34},
    {35, "Drehregler 4 oben", "Endless 4 Upper", K::Encoder, "ImgInk4o", 35},
    {36, "Drehregler 4 unten", "Endless 4 Lower", K::Encoder, "ImgInk4u", 36},
    {37, "Drehregler 5 oben", "Endless 5 Upper", K::Encoder, "ImgInk5o", 37},
    {38, "Drehregler 5 unten", "Endless 5 Lower", K::Encoder, "ImgInk5u", 38},
    {39, "Drehregler 6 oben", "Endless 6 Upper", K::Encoder, "ImgInk6o", 39},
    {40, "Drehregler 6 unten", "Endless 6 Lower", K::Encoder, "ImgInk6u", 40},
    {41, "Drehregler 7 oben", "Endless 7 Upper", K::Encoder, "ImgInk7o", 41},
    {42, "Drehregler 7 unten", "Endless 7 Lower", K::Encoder, "ImgInk7u", 42},
    {43, "Drehregler 8 oben", "Endless 8 Upper", K::Encoder, "ImgInk8o", 43},
    {44, "Drehregler 8 unten", "Endless 8 Lower", K::Encoder, "ImgInk8u", 44},
    // The master strip keeps its "(Master)" suffix in English, as its fader
    // and button do, so the two master knobs read like the rest of the strip.
    {45, "Drehregler 9 oben (Master)", "Endless 9 Upper (Master)", K::Encoder, "ImgInkMo", 45},
    {46, "Drehregler 9 unten (Master)", "Endless 9 Lower (Master)", K::Encoder, "ImgInkMu", 46},
    {47, "JogShuttle", "JogShuttle", K::JogShuttle, "ImgJogShuttle", 47},
    // Jog wheel pictures are named after the position as a two's-complement
    // hex byte (F8 = -8 .. 07 = +7).
    {48, "JogWheel -6", "JogWheel -6", K::JogWheel, "JogWheelFA", 48},
    {49, "JogWheel +5", "JogWheel +5", K::JogWheel, "JogWheel05", 49},
    {50, "JogWheel -7", "JogWheel -7", K::JogWheel, "JogWheelF9", 50},
    {51, "JogWheel +6", "JogWheel +6", K::JogWheel, "JogWheel06", 51},
    {52, "JogWheel -5", "JogWheel -5", K::JogWheel, "JogWheelFB", 52},
    {53, "JogWheel +4", "JogWheel +4", K::JogWheel, "JogWheel04", 53},
    {54, "JogWheel -8", "JogWheel -8", K::JogWheel, "JogWheelF8", 54},
    {55, "JogWheel +7", "JogWheel +7", K::JogWheel, "JogWheel07", 55},
    {56, "JogWheel -3", "JogWheel -3", K::JogWheel, "JogWheelFD", 56},
    {57, "JogWheel +2", "JogWheel +2", K::JogWheel, "JogWheel02", 57},
    {58, "JogWheel -2", "JogWheel -2", K::JogWheel, "JogWheelFE", 58},
    {59, "JogWheel +1", "JogWheel +1", K::JogWheel, "JogWheel01", 59},
    {60, "JogWheel -4", "JogWheel -4", K::JogWheel, "JogWheelFC", 60},
    {61, "JogWheel +3", "JogWheel +3", K::JogWheel, "JogWheel03", 61},
    {62, "JogWheel -1", "JogWheel -1", K::JogWheel, "JogWheelFF", 62},
    {63, "JogWheel 00", "JogWheel 00", K::JogWheel, "JogWheel00", 63},
}};

constexpr bool inRange(int number) { return number >= 0 && number < kElementCount; }

}  // namespace

std::span<const ElementInfo, kElementCount> elementCatalogue() { return kCatalogue; }

const ElementInfo* elementInfo(int number) { return inRange(number) ? &kCatalogue[number] : nullptr; }

ElementKind elementKind(int number) {
    // Outside the table there is no element; Fader is as good a fallback as
    // any, and every caller checks the number first.
    return inRange(number) ? kCatalogue[number].kind : ElementKind::Fader;
}

int elementTag(int number) { return number == 0 ? kElementCount : number; }

int elementNumberFromTag(int tag) {
    if (tag == kElementCount) return 0;
    if (tag >= 1 && tag < kElementCount) return tag;
    return -1;
}

std::string_view Wie_lautet_EingabeElementName(int Nummer) {
    return inRange(Nummer) ? kCatalogue[Nummer].germanName : std::string_view{};
}

int Wie_lautet_EingabeElementNummer(std::string_view EingabeElementName) {
    for (const auto& e : kCatalogue) {
        if (e.germanName == EingabeElementName) return e.number;
    }
    return -1;
}

std::string Translate(std::string_view EingabeElement, std::string_view language) {
    if (language != "en") return std::string(EingabeElement);
    for (const auto& e : kCatalogue) {
        if ((e.kind == K::Button || e.kind == K::Encoder) && e.germanName == EingabeElement) {
            return std::string(e.englishLabel);
        }
    }
    return std::string(EingabeElement);
}

}  // namespace korvane
