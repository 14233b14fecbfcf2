#include "xml_layout.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace korvane {
namespace faithful {
namespace {

// The writer closes every element without children as <x/>. An element the
// file writes as <x></x> gets an empty text child, which the writer keeps as
// <x></x>, so such elements survive a save unchanged.
bool writtenWithEndTag(pugi::xml_node element, std::string_view utf8) {
    const std::ptrdiff_t off = element.offset_debug();
    if (off <= 0) return false;
    // Find the end of the start tag, stepping over quoted attribute values.
    char quote = 0;
    for (std::size_t i = static_cast<std::size_t>(off); i < utf8.size(); ++i) {
        const char c = utf8[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            return utf8[i - 1] != '/';
        }
    }
    return false;
}

pugi::xml_node firstElement(pugi::xml_node parent) {
    for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling()) {
        if (c.type() == pugi::node_element) return c;
    }
    return {};
}

// Places a new child at the end of parent with its own line. make(before)
// creates the node in front of `before` (or at the end when before is empty).
template <typename Make>
pugi::xml_node placeAtEnd(pugi::xml_node parent, Make make) {
    if (!parent) return {};
    const std::string nl = lineBreakNear(parent);
    const std::string indent = childIndentOf(parent);
    const pugi::xml_node last = parent.last_child();
    if (isWhitespaceText(last)) {
        // ... <last element/>[ws]</parent>: the new line goes before [ws],
        // which keeps the closing tag on its own line.
        parent.insert_child_before(pugi::node_pcdata, last).set_value((nl + indent).c_str());
        return make(last);
    }
    parent.append_child(pugi::node_pcdata).set_value((nl + indent).c_str());
    pugi::xml_node created = make(pugi::xml_node());
    parent.append_child(pugi::node_pcdata).set_value((nl + indentBefore(parent)).c_str());
    return created;
}

// Offset of the first byte of the declaration at the start of utf8 that
// does not follow XML's form: <?xml version="1.x" encoding="name"
// standalone="yes|no"?>, the last two optional, either quote, blanks
// between; -1 when it follows it.
std::ptrdiff_t declarationFault(std::string_view utf8) {
    std::size_t i = 5;  // after "<?xml"
    auto at = [&] { return static_cast<std::ptrdiff_t>(std::min(i, utf8.size())); };
    auto spaces = [&] {
        const std::size_t from = i;
        while (i < utf8.size() && isXmlSpace(utf8[i])) ++i;
        return i > from;
    };
    auto word = [&](std::string_view w) {
        if (utf8.substr(std::min(i, utf8.size()), w.size()) != w) return false;
        i += w.size();
        return true;
    };
    // name = quoted value, and valid(value) holds.
    auto pseudoAttribute = [&](std::string_view name, auto valid) {
        if (!word(name)) return false;
        spaces();
        if (!word("=")) return false;
        spaces();
        if (i >= utf8.size() || (utf8[i] != '"' && utf8[i] != '\'')) return false;
        const char quote = utf8[i++];
        const std::size_t close = utf8.find(quote, i);
        if (close == std::string_view::npos || !valid(utf8.substr(i, close - i))) return false;
        i = close + 1;
        return true;
    };
    auto isVersion = [](std::string_view v) {
        if (v.size() < 3 || v.substr(0, 2) != "1.") return false;
        return v.find_first_not_of("0123456789", 2) == std::string_view::npos;
    };
    auto isEncodingName = [](std::string_view v) {
        if (v.empty() || !std::isalpha(static_cast<unsigned char>(v[0]))) return false;
        for (char c : v) {
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '_' && c != '-')
                return false;
        }
        return true;
    };
    auto isYesNo = [](std::string_view v) { return v == "yes" || v == "no"; };

    if (!spaces() || !pseudoAttribute("version", isVersion)) return at();
    bool space = spaces();
    if (space && utf8.substr(i, 8) == "encoding") {
        if (!pseudoAttribute("encoding", isEncodingName)) return at();
        space = spaces();
    }
    if (space && utf8.substr(i, 10) == "standalone") {
        if (!pseudoAttribute("standalone", isYesNo)) return at();
        spaces();
    }
    return word("?>") ? -1 : at();
}

}  // namespace

bool isXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool isWhitespaceText(pugi::xml_node n) {
    if (n.type() != pugi::node_pcdata) return false;
    for (const char* p = n.value(); *p; ++p) {
        if (!isXmlSpace(*p)) return false;
    }
    return true;
}

// ---- the document level ----------------------------------------------------

TopLevelFault findTopLevelFault(const pugi::xml_document& doc, std::string_view utf8) {
    // Where the markup of node begins: its offset points at its name or
    // contents, a little after the '<'.
    auto markupStart = [&](pugi::xml_node n) {
        std::size_t at = std::min<std::size_t>(
            static_cast<std::size_t>(std::max<std::ptrdiff_t>(n.offset_debug(), 0)), utf8.size());
        while (at > 0 && utf8[at - 1] != '<') --at;
        return static_cast<std::ptrdiff_t>(at > 0 ? at - 1 : 0);
    };
    auto fault = [](std::ptrdiff_t at, const char* key, const char* detail) {
        return TopLevelFault{at, key, detail};
    };
    bool seenRoot = false;
    bool seenDoctype = false;
    for (pugi::xml_node n = doc.first_child(); n; n = n.next_sibling()) {
        switch (n.type()) {
            case pugi::node_pcdata: {
                if (isWhitespaceText(n)) break;
                // The text starts at its offset; whatever whitespace leads it
                // stands in the file as it does in the value.
                std::string_view value = n.value();
                std::size_t lead = 0;
                while (lead < value.size() && isXmlSpace(value[lead])) ++lead;
                return fault(
                    std::max<std::ptrdiff_t>(n.offset_debug(), 0) + static_cast<std::ptrdiff_t>(lead),
                    "document.parse.text_outside_root", "text outside the root element");
            }
            case pugi::node_cdata:
                return fault(markupStart(n), "document.parse.text_outside_root",
                             "text outside the root element");
            case pugi::node_declaration:
                // Only the very first bytes may declare the encoding; one
                // further on is never looked at when the bytes are decoded.
                if (n != doc.first_child() || markupStart(n) != 0) {
                    return fault(markupStart(n), "document.parse.misplaced_declaration",
                                 "the XML declaration is not at the very start of the file");
                }
                // The parser reads a declaration leniently (references,
                // stray names and characters) and may write it back as
                // something it then refuses; only the form XML defines passes.
                if (const std::ptrdiff_t bad = declarationFault(utf8); bad >= 0) {
                    return fault(bad, "document.parse.bad_pi",
                                 "an XML declaration not of the form XML defines");
                }
                break;
            case pugi::node_doctype:
                if (seenRoot || seenDoctype) {
                    return fault(markupStart(n), "document.parse.misplaced_doctype",
                                 "a document type declaration after the first one or after the root element");
                }
                seenDoctype = true;
                break;
            case pugi::node_element:
                if (seenRoot) {
                    return fault(markupStart(n), "document.parse.second_root", "a second root element");
                }
                seenRoot = true;
                break;
            default:  // comments and processing instructions may stand anywhere
                break;
        }
    }
    return {};
}

// Walks the tree without recursion: a hostile file may nest very deeply.
void keepExplicitEmptyElements(pugi::xml_document& doc, std::string_view utf8) {
    pugi::xml_node n = doc.first_child();
    while (n) {
        if (n.type() == pugi::node_element) {
            if (n.first_child()) {
                n = n.first_child();
                continue;
            }
            if (writtenWithEndTag(n, utf8)) n.append_child(pugi::node_pcdata);
        }
        while (n && !n.next_sibling()) n = n.parent();
        if (n) n = n.next_sibling();
    }
}

// ---- indentation ---------------------------------------------------------

// The indentation in front of node: what follows the last line break of the
// whitespace text just before it.
std::string indentBefore(pugi::xml_node node) {
    const pugi::xml_node prev = node.previous_sibling();
    if (!isWhitespaceText(prev)) return {};
    const std::string_view ws = prev.value();
    const auto nl = ws.find_last_of('\n');
    return std::string(nl == std::string_view::npos ? ws : ws.substr(nl + 1));
}

std::string lineBreakNear(pugi::xml_node node) {
    for (pugi::xml_node n = node; n; n = n.parent()) {
        const pugi::xml_node prev = n.previous_sibling();
        if (isWhitespaceText(prev)) return std::strstr(prev.value(), "\r\n") ? "\r\n" : "\n";
    }
    return "\n";
}

std::string childIndentOf(pugi::xml_node parent) {
    if (pugi::xml_node first = firstElement(parent); first && isWhitespaceText(first.previous_sibling())) {
        return indentBefore(first);
    }
    const std::string own = indentBefore(parent);
    return own + (own.find('\t') != std::string::npos ? "\t" : "  ");
}

}  // namespace faithful

using faithful::childIndentOf;
using faithful::indentBefore;
using faithful::isWhitespaceText;
using faithful::lineBreakNear;
using faithful::placeAtEnd;

// ---- editing helpers ---------------------------------------------------

pugi::xml_node appendElementIndented(pugi::xml_node parent, std::string_view name) {
    const std::string n(name);
    return placeAtEnd(parent, [&](pugi::xml_node before) {
        return before ? parent.insert_child_before(n.c_str(), before) : parent.append_child(n.c_str());
    });
}

pugi::xml_node appendCopyIndented(pugi::xml_node parent, pugi::xml_node source) {
    return placeAtEnd(parent, [&](pugi::xml_node before) {
        return before ? parent.insert_copy_before(source, before) : parent.append_copy(source);
    });
}

pugi::xml_node insertElementAfterIndented(pugi::xml_node sibling, std::string_view name) {
    pugi::xml_node parent = sibling.parent();
    if (!parent) return {};
    const std::string text = lineBreakNear(sibling) + indentBefore(sibling);
    pugi::xml_node ws = parent.insert_child_after(pugi::node_pcdata, sibling);
    ws.set_value(text.c_str());
    return parent.insert_child_after(std::string(name).c_str(), ws);
}

void removeElementIndented(pugi::xml_node node) {
    pugi::xml_node parent = node.parent();
    if (!parent) return;
    if (pugi::xml_node prev = node.previous_sibling(); isWhitespaceText(prev)) parent.remove_child(prev);
    parent.remove_child(node);
}

pugi::xml_node setChildText(pugi::xml_node parent, std::string_view name, std::string_view value) {
    if (!parent) return {};
    pugi::xml_node child;
    for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling()) {
        if (c.type() == pugi::node_element && std::string_view(c.name()) == name) {
            child = c;
            break;
        }
    }
    if (!child) child = appendElementIndented(parent, name);
    child.text().set(std::string(value).c_str());
    return child;
}

}  // namespace korvane
