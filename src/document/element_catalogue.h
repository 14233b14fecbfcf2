#pragma once
// The fixed catalogue of the 64 surface elements.
//
// Everything the editor stores, shows or sends about an element is keyed by
// its number 0..63 or by its German name; the German name is the key written
// into the configuration document, the English label is only ever shown.

#include <span>
#include <string>
#include <string_view>

namespace korvane {

inline constexpr int kElementCount = 64;

enum class ElementKind { Fader, Button, Encoder, JogShuttle, JogWheel };

struct ElementInfo {
    int number;                     // 0..63
    std::string_view germanName;    // the key stored in the document
    std::string_view englishLabel;  // shown when the interface language is "en"
    ElementKind kind;
    std::string_view picture;  // object name of the element's picture on the map
    int tag;                   // picture tag: the number, 64 for element 0
};

// The whole table, indexed by element number.
std::span<const ElementInfo, kElementCount> elementCatalogue();

// The entry of one element; nullptr when number is outside 0..63.
const ElementInfo* elementInfo(int number);

// Kind by number; numbers outside 0..63 are not elements (callers check first).
ElementKind elementKind(int number);

// Picture tag of an element: its number, except element 0 which carries 64
// because tag 0 is what every decoration picture of the map has.
int elementTag(int number);

// Element number read from a picture tag: 64 -> 0, 1..63 -> itself, anything
// else (0 included) -> -1.
int elementNumberFromTag(int tag);

// German name of element Nummer; an empty text when Nummer is outside 0..63.
std::string_view Wie_lautet_EingabeElementName(int Nummer);

// Number of the first element whose German name equals the text exactly
// (whole text, case-sensitive); -1 when none does.
int Wie_lautet_EingabeElementNummer(std::string_view EingabeElementName);

// Display label of a German element name. Only the language "en" translates,
// and only buttons and encoders have English labels; every other text
// (faders, jog elements, unknown names) comes back unchanged.
std::string Translate(std::string_view EingabeElement, std::string_view language);

}  // namespace korvane
