#pragma once
// The byte-faithful layer under the configuration document, part two: the
// whitespace and layout of the file. What the parser would drop or
// normalise (whitespace outside the root, <x></x> written with an end tag)
// is put back after parsing, and new elements get their own line, indented
// like their siblings, so a saved file differs from the loaded one only
// where something was changed.

#include <cstddef>
#include <pugixml.hpp>
#include <string>
#include <string_view>

namespace korvane {

namespace faithful {

bool isXmlSpace(char c);
// A text node holding nothing but XML whitespace.
bool isWhitespaceText(pugi::xml_node n);

// Something at document level that XML does not allow there. The parser
// reads the document level as a fragment, so that it keeps whatever stands
// there instead of skipping it; this finds what must not.
struct TopLevelFault {
    std::ptrdiff_t offset = -1;  // into the parsed UTF-8 text; -1 when there is no fault
    std::string key;             // text key naming the fault
    std::string detail;          // the same in plain English, for logs
};
TopLevelFault findTopLevelFault(const pugi::xml_document& doc, std::string_view utf8);
// Gives every element that the text writes as <x></x> an empty text child,
// which the writer keeps as <x></x> instead of <x/>.
void keepExplicitEmptyElements(pugi::xml_document& doc, std::string_view utf8);

// The indentation in front of node: what follows the last line break of
// the whitespace text just before it.
std::string indentBefore(pugi::xml_node node);
// The line break the file uses near node ("\r\n" or "\n").
std::string lineBreakNear(pugi::xml_node node);
// The indentation a new child of parent gets: that of its first element
// child, or the parent's own one step deeper.
std::string childIndentOf(pugi::xml_node parent);

}  // namespace faithful

// Editing helpers that keep the file readable: a new element gets its own
// line, indented like its siblings, and removing an element also removes the
// line break in front of it.

// Appends an element named name as the last element child of parent.
pugi::xml_node appendElementIndented(pugi::xml_node parent, std::string_view name);
// Inserts an element named name right after the element sibling.
pugi::xml_node insertElementAfterIndented(pugi::xml_node sibling, std::string_view name);
// Inserts a deep copy of source as the last element child of parent.
pugi::xml_node appendCopyIndented(pugi::xml_node parent, pugi::xml_node source);
// Removes node together with the whitespace text in front of it.
void removeElementIndented(pugi::xml_node node);
// Sets the text of parent's first child element name, creating it (indented,
// appended) when missing. Returns the child.
pugi::xml_node setChildText(pugi::xml_node parent, std::string_view name, std::string_view value);

}  // namespace korvane
