#include "config_document.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <functional>

#include "element_catalogue.h"
#include "file_io.h"
#include "texts.h"

namespace korvane {
namespace {

// Whitespace text is kept and line ends are left as they are, so that an
// unchanged part of the file is written back as it was read.
constexpr unsigned kParseFlags = (pugi::parse_full | pugi::parse_ws_pcdata) & ~pugi::parse_eol;
// Raw output writes the kept whitespace instead of re-indenting; the file's
// own declaration node is written, none is invented.
constexpr unsigned kSaveFlags = pugi::format_raw | pugi::format_no_declaration;

bool equals(const char* s, std::string_view v) { return std::string_view(s) == v; }

bool isXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool isWhitespaceText(pugi::xml_node n) {
    if (n.type() != pugi::node_pcdata) return false;
    for (const char* p = n.value(); *p; ++p) {
        if (!isXmlSpace(*p)) return false;
    }
    return true;
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// ---- encodings -----------------------------------------------------------

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool decodeUtf16(std::string_view in, bool bigEndian, std::string& out) {
    if (in.size() % 2 != 0) return false;
    auto unit = [&](std::size_t i) -> char16_t {
        const auto a = static_cast<unsigned char>(in[i]);
        const auto b = static_cast<unsigned char>(in[i + 1]);
        return static_cast<char16_t>(bigEndian ? (a << 8) | b : (b << 8) | a);
    };
    for (std::size_t i = 0; i < in.size(); i += 2) {
        char32_t cp = unit(i);
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            if (i + 3 >= in.size()) return false;
            const char32_t low = unit(i + 2);
            if (low < 0xDC00 || low > 0xDFFF) return false;
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
            return false;
        }
        appendUtf8(out, cp);
    }
    return true;
}

bool decodeUtf32(std::string_view in, bool bigEndian, std::string& out) {
    if (in.size() % 4 != 0) return false;
    for (std::size_t i = 0; i < in.size(); i += 4) {
        char32_t cp = 0;
        for (int k = 0; k < 4; ++k) {
            const auto byte = static_cast<unsigned char>(in[i + (bigEndian ? k : 3 - k)]);
            cp = (cp << 8) | byte;
        }
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        appendUtf8(out, cp);
    }
    return true;
}

// The encoding named in an XML declaration at the start of an 8-bit text,
// or "" when there is no declaration or it names none.
std::string declaredEncoding(std::string_view text) {
    if (text.substr(0, 5) != "<?xml") return {};
    const auto end = text.find("?>");
    const std::string_view decl = text.substr(0, end);
    auto pos = decl.find("encoding");
    if (pos == std::string_view::npos) return {};
    pos += 8;
    while (pos < decl.size() && isXmlSpace(decl[pos])) ++pos;
    if (pos >= decl.size() || decl[pos] != '=') return {};
    ++pos;
    while (pos < decl.size() && isXmlSpace(decl[pos])) ++pos;
    if (pos >= decl.size() || (decl[pos] != '"' && decl[pos] != '\'')) return {};
    const char quote = decl[pos++];
    const auto close = decl.find(quote, pos);
    if (close == std::string_view::npos) return {};
    return std::string(decl.substr(pos, close - pos));
}

// Offset of the first byte that does not belong to a well-formed UTF-8
// sequence (overlong forms, surrogates and code points above U+10FFFF
// included), or -1 when the whole text is UTF-8.
std::ptrdiff_t firstInvalidUtf8(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char b = p[i];
        if (b < 0x80) {
            ++i;
            continue;
        }
        std::size_t len = 0;
        unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
        if (b >= 0xC2 && b <= 0xDF) {
            len = 2;
        } else if (b >= 0xE0 && b <= 0xEF) {
            len = 3;
            if (b == 0xE0) lo = 0xA0;  // no overlong forms
            if (b == 0xED) hi = 0x9F;  // no surrogates
        } else if (b >= 0xF0 && b <= 0xF4) {
            len = 4;
            if (b == 0xF0) lo = 0x90;  // no overlong forms
            if (b == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
        } else {
            return static_cast<std::ptrdiff_t>(i);
        }
        if (i + len > n || p[i + 1] < lo || p[i + 1] > hi) return static_cast<std::ptrdiff_t>(i);
        for (std::size_t k = 2; k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) return static_cast<std::ptrdiff_t>(i);
        }
        i += len;
    }
    return -1;
}

struct Decoded {
    std::string utf8;
    pugi::xml_encoding encoding = pugi::encoding_utf8;
    bool bom = false;
    std::string unsupported;      // a declared encoding the program refuses
    bool broken = false;          // a UTF-16/32 text that does not decode
    std::ptrdiff_t badUtf8 = -1;  // offset of the first byte that is no UTF-8
};

// Turns the file's bytes into UTF-8 and remembers what to write back. The
// parser then always works on UTF-8, so parse offsets are offsets into one
// known buffer, and a declared encoding that the parser would silently take
// for UTF-8 is caught here instead of corrupting the file on save.
Decoded decode(std::string_view raw) {
    Decoded d;
    auto starts = [&](std::initializer_list<unsigned char> bytes) {
        if (raw.size() < bytes.size()) return false;
        std::size_t i = 0;
        for (unsigned char b : bytes) {
            if (static_cast<unsigned char>(raw[i++]) != b) return false;
        }
        return true;
    };
    auto wide = [&](pugi::xml_encoding enc, std::size_t skip, bool utf32, bool be) {
        d.encoding = enc;
        d.bom = skip > 0;
        const auto body = raw.substr(skip);
        d.broken = !(utf32 ? decodeUtf32(body, be, d.utf8) : decodeUtf16(body, be, d.utf8));
    };
    if (starts({0x00, 0x00, 0xFE, 0xFF})) return wide(pugi::encoding_utf32_be, 4, true, true), d;
    if (starts({0xFF, 0xFE, 0x00, 0x00})) return wide(pugi::encoding_utf32_le, 4, true, false), d;
    if (starts({0xFE, 0xFF})) return wide(pugi::encoding_utf16_be, 2, false, true), d;
    if (starts({0xFF, 0xFE})) return wide(pugi::encoding_utf16_le, 2, false, false), d;
    if (starts({0x00, 0x00, 0x00, 0x3C})) return wide(pugi::encoding_utf32_be, 0, true, true), d;
    if (starts({0x3C, 0x00, 0x00, 0x00})) return wide(pugi::encoding_utf32_le, 0, true, false), d;
    if (starts({0x00, 0x3C, 0x00, 0x3F})) return wide(pugi::encoding_utf16_be, 0, false, true), d;
    if (starts({0x3C, 0x00, 0x3F, 0x00})) return wide(pugi::encoding_utf16_le, 0, false, false), d;

    std::string_view body = raw;
    if (starts({0xEF, 0xBB, 0xBF})) {
        d.bom = true;
        body.remove_prefix(3);
    }
    const std::string declared = lower(declaredEncoding(body));
    // A byte order mark settles the question, whatever the declaration says.
    if (d.bom || declared.empty() || declared == "utf-8" || declared == "utf8" || declared == "utf-16" ||
        declared == "utf-32") {
        // A UTF-16/32 declaration over 8-bit bytes is wrong, but the bytes are
        // written back exactly as read, so nothing is lost by keeping it.
        d.encoding = pugi::encoding_utf8;
        d.utf8.assign(body);
        // The parser takes any bytes; names that are no UTF-8 would reach
        // the lists as replacement characters and never match again.
        d.badUtf8 = firstInvalidUtf8(d.utf8);
    } else if (declared == "iso-8859-1" || declared == "latin1" || declared == "iso_8859-1" ||
               declared == "latin-1") {
        d.encoding = pugi::encoding_latin1;
        d.utf8.reserve(body.size() + body.size() / 8);
        for (char c : body) appendUtf8(d.utf8, static_cast<unsigned char>(c));
    } else {
        d.unsupported = declared;
    }
    return d;
}

// ---- custom entities ---------------------------------------------------

bool isNameStart(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == ':' ||
           static_cast<unsigned char>(c) >= 0x80;
}
bool isNameChar(char c) {
    return isNameStart(c) || std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '.';
}

// First "&name;" in text whose name is not one of the five XML entities.
std::string findCustomEntity(std::string_view text) {
    static constexpr std::array<std::string_view, 5> kBuiltIn = {"amp", "lt", "gt", "quot", "apos"};
    for (auto pos = text.find('&'); pos != std::string_view::npos; pos = text.find('&', pos + 1)) {
        std::size_t i = pos + 1;
        if (i >= text.size() || !isNameStart(text[i])) continue;
        while (i < text.size() && isNameChar(text[i])) ++i;
        if (i >= text.size() || text[i] != ';') continue;
        const auto name = text.substr(pos + 1, i - pos - 1);
        if (std::find(kBuiltIn.begin(), kBuiltIn.end(), name) == kBuiltIn.end()) return std::string(name);
    }
    return {};
}

// The parser keeps an entity it does not know as literal text, and the
// writer would then escape its "&": the file would silently lose the entity.
// A quick scan of the raw text rules out almost every file; only a file with
// a candidate is parsed again without escapes to look at text and attribute
// values alone (comments, CDATA and the doctype may hold "&" freely).
std::string customEntityIn(const std::string& utf8) {
    if (findCustomEntity(utf8).empty()) return {};
    pugi::xml_document raw;
    if (!raw.load_buffer(utf8.data(), utf8.size(), kParseFlags & ~pugi::parse_escapes, pugi::encoding_utf8)) {
        return {};
    }
    struct Walker : pugi::xml_tree_walker {
        std::string found;
        bool for_each(pugi::xml_node& n) override {
            if (n.type() == pugi::node_pcdata) found = findCustomEntity(n.value());
            for (auto a = n.first_attribute(); found.empty() && a; a = a.next_attribute()) {
                found = findCustomEntity(a.value());
            }
            return found.empty();
        }
    } walker;
    raw.traverse(walker);
    return walker.found;
}

// ---- character references to codes XML does not have ------------------------

// Position of the first numeric character reference ("&#N;" or "&#xH;") in
// text whose code is no character: 0, a surrogate (D800..DFFF) or above
// 10FFFF; npos when there is none.
std::size_t findBadReference(std::string_view text) {
    for (auto pos = text.find("&#"); pos != std::string_view::npos; pos = text.find("&#", pos + 1)) {
        std::size_t i = pos + 2;
        const bool hex = i < text.size() && text[i] == 'x';
        if (hex) ++i;
        const std::size_t first = i;
        std::uint32_t code = 0;
        for (; i < text.size(); ++i) {
            const char c = text[i];
            std::uint32_t digit = 0;
            if (c >= '0' && c <= '9') {
                digit = static_cast<std::uint32_t>(c - '0');
            } else if (hex && c >= 'a' && c <= 'f') {
                digit = static_cast<std::uint32_t>(c - 'a' + 10);
            } else if (hex && c >= 'A' && c <= 'F') {
                digit = static_cast<std::uint32_t>(c - 'A' + 10);
            } else {
                break;
            }
            // Held just above the last code point, so long digit runs cannot
            // wrap around to a harmless value.
            code = std::min<std::uint32_t>(code * (hex ? 16 : 10) + digit, 0x110000);
        }
        if (i == first || i >= text.size() || text[i] != ';') continue;
        if (code == 0 || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return pos;
    }
    return std::string_view::npos;
}

// The parser turns such a reference into bytes all the same: "&#0;" into a
// character 0, at which every text ends ("a&#0;b" would be read as "a" and
// the next save would drop the rest for good), a surrogate or a code beyond
// 10FFFF into bytes that are no UTF-8, which the next save would write and
// the next reading refuse. Only text and attribute values count; comments
// and CDATA keep such a reference as it is. Returns the offset of the node
// that holds one, or -1.
std::ptrdiff_t badReferenceIn(const std::string& utf8) {
    if (findBadReference(utf8) == std::string_view::npos) return -1;
    pugi::xml_document raw;
    if (!raw.load_buffer(utf8.data(), utf8.size(), kParseFlags & ~pugi::parse_escapes, pugi::encoding_utf8)) {
        return -1;
    }
    struct Walker : pugi::xml_tree_walker {
        std::ptrdiff_t found = -1;
        bool for_each(pugi::xml_node& n) override {
            const bool inText =
                n.type() == pugi::node_pcdata && findBadReference(n.value()) != std::string_view::npos;
            bool inAttribute = false;
            for (auto a = n.first_attribute(); !inAttribute && a; a = a.next_attribute()) {
                inAttribute = findBadReference(a.value()) != std::string_view::npos;
            }
            if (inText || inAttribute) found = std::max<std::ptrdiff_t>(n.offset_debug(), 0);
            return found < 0;
        }
    } walker;
    raw.traverse(walker);
    return walker.found;
}

// ---- ISO-8859-1 --------------------------------------------------------

// The first character above U+00FF in text (as its UTF-8 bytes), or "".
std::string nonLatin1In(std::string_view utf8) {
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        // Lead bytes C2 and C3 cover U+0080..U+00FF; every later lead byte
        // starts a character that ISO-8859-1 does not have.
        if (b >= 0xC4 && b <= 0xF4) {
            const std::size_t len = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
            return std::string(utf8.substr(i, len));
        }
    }
    return {};
}

std::string firstNonLatin1(pugi::xml_document& doc) {
    struct Walker : pugi::xml_tree_walker {
        std::string found;
        bool for_each(pugi::xml_node& n) override {
            found = nonLatin1In(n.name());
            if (found.empty()) found = nonLatin1In(n.value());
            for (auto a = n.first_attribute(); found.empty() && a; a = a.next_attribute()) {
                found = nonLatin1In(a.name());
                if (found.empty()) found = nonLatin1In(a.value());
            }
            return found.empty();
        }
    } walker;
    doc.traverse(walker);
    return walker.found;
}

// ---- whitespace outside the root -----------------------------------------

// The parser drops whitespace between the nodes at document level (after
// the declaration, around the doctype, after the root). Putting it back as
// text nodes keeps line breaks there, so an unchanged file saves unchanged.
void restoreTopLevelWhitespace(pugi::xml_document& doc, std::string_view utf8) {
    std::vector<std::pair<pugi::xml_node, std::string>> gaps;
    for (pugi::xml_node n = doc.first_child(); n; n = n.next_sibling()) {
        const std::ptrdiff_t off = n.offset_debug();
        if (off <= 0 || static_cast<std::size_t>(off) > utf8.size()) continue;
        std::size_t lt = static_cast<std::size_t>(off);
        while (lt > 0 && utf8[lt - 1] != '<') --lt;
        if (lt == 0) continue;
        --lt;  // at '<'
        std::size_t ws = lt;
        while (ws > 0 && isXmlSpace(utf8[ws - 1])) --ws;
        if (ws < lt) gaps.emplace_back(n, std::string(utf8.substr(ws, lt - ws)));
    }
    for (auto& [node, text] : gaps) doc.insert_child_before(pugi::node_pcdata, node).set_value(text.c_str());
    std::size_t end = utf8.size();
    while (end > 0 && isXmlSpace(utf8[end - 1])) --end;
    if (end < utf8.size()) {
        doc.append_child(pugi::node_pcdata).set_value(std::string(utf8.substr(end)).c_str());
    }
}

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

std::string parseStatusKey(pugi::xml_parse_status status) {
    switch (status) {
        case pugi::status_unrecognized_tag:
            return "document.parse.unrecognized_tag";
        case pugi::status_bad_pi:
            return "document.parse.bad_pi";
        case pugi::status_bad_comment:
            return "document.parse.bad_comment";
        case pugi::status_bad_cdata:
            return "document.parse.bad_cdata";
        case pugi::status_bad_doctype:
            return "document.parse.bad_doctype";
        case pugi::status_bad_pcdata:
            return "document.parse.bad_pcdata";
        case pugi::status_bad_start_element:
            return "document.parse.bad_start_element";
        case pugi::status_bad_attribute:
            return "document.parse.bad_attribute";
        case pugi::status_bad_end_element:
            return "document.parse.bad_end_element";
        case pugi::status_end_element_mismatch:
            return "document.parse.end_element_mismatch";
        case pugi::status_no_document_element:
            return "document.parse.no_document_element";
        default:
            return {};
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

pugi::xml_node firstElement(pugi::xml_node parent) {
    for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling()) {
        if (c.type() == pugi::node_element) return c;
    }
    return {};
}

std::string childIndentOf(pugi::xml_node parent) {
    if (pugi::xml_node first = firstElement(parent); first && isWhitespaceText(first.previous_sibling())) {
        return indentBefore(first);
    }
    const std::string own = indentBefore(parent);
    return own + (own.find('\t') != std::string::npos ? "\t" : "  ");
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

}  // namespace

// ---- status texts ----------------------------------------------------------

std::string DocumentStatus::message(std::string_view language) const {
    const std::string file = fileName.string();
    switch (code) {
        case Code::Ok:
            return {};
        case Code::NotLoaded:
            return textWithAll("document.not_loaded", language, {file});
        case Code::OpenFailed:
            return textWithAll("document.open_failed", language, {file, detail});
        case Code::ParseError:
            return textWithAll(
                "document.parse_error", language,
                {file, detailKey.empty() ? std::string_view(detail) : text(detailKey, language),
                 std::to_string(line), std::to_string(column), std::to_string(offset)});
        case Code::UnsupportedEncoding:
            return textWithAll("document.unsupported_encoding", language, {file, detail});
        case Code::NoRootElement:
            return textWithAll("document.no_root", language, {file});
        case Code::CustomEntity:
            return textWithAll("document.custom_entity", language, {file, detail});
        case Code::WriteFailed:
            return textWithAll("document.write_failed", language, {file, detail});
        case Code::Unrepresentable:
            return textWithAll("document.unrepresentable", language, {file, detail});
        case Code::ChangedOnDisk:
            return textWithAll("document.changed_on_disk", language, {file});
    }
    return {};
}

std::string ElementResolution::danglingText(std::string_view language) const {
    switch (state) {
        case State::DanglingGroup:
            return textWith("document.group_not_found", language, groupName);
        case State::DanglingMessage:
            return textWith("document.message_not_found", language, messageName);
        default:
            return {};
    }
}

// ---- loading and saving ----------------------------------------------------

ConfigDocument::Fingerprint ConfigDocument::fingerprintOf(std::string_view bytes) {
    return {bytes.size(), std::hash<std::string_view>{}(bytes)};
}

DocumentStatus ConfigDocument::parseFile(const std::filesystem::path& fileName, pugi::xml_document& into,
                                         pugi::xml_encoding& encoding, bool& bom, std::string& customEntity,
                                         Fingerprint& read) const {
    DocumentStatus st;
    st.fileName = fileName;
    std::string error;
    auto raw = detail::readWholeFile(fileName, error);
    if (!raw) {
        st.code = DocumentStatus::Code::OpenFailed;
        st.detail = error;
        return st;
    }
    const Fingerprint fingerprint = fingerprintOf(*raw);
    Decoded d = decode(*raw);
    raw.reset();
    if (!d.unsupported.empty()) {
        st.code = DocumentStatus::Code::UnsupportedEncoding;
        st.detail = d.unsupported;
        return st;
    }
    if (d.broken) {
        st.code = DocumentStatus::Code::ParseError;
        st.detailKey = "document.parse.bad_encoding";
        st.detail = "invalid UTF-16/UTF-32 sequence";
        return st;
    }
    auto pointAt = [&](std::ptrdiff_t offset) {
        st.offset = offset;
        const auto upTo = std::min<std::size_t>(static_cast<std::size_t>(std::max<std::ptrdiff_t>(offset, 0)),
                                                d.utf8.size());
        st.line = 1 + static_cast<int>(std::count(d.utf8.begin(), d.utf8.begin() + upTo, '\n'));
        const auto lastNl = std::string_view(d.utf8).substr(0, upTo).find_last_of('\n');
        st.column = static_cast<int>(lastNl == std::string_view::npos ? upTo + 1 : upTo - lastNl);
    };
    if (d.badUtf8 >= 0) {
        st.code = DocumentStatus::Code::ParseError;
        st.detailKey = "document.parse.bad_utf8";
        st.detail = "invalid UTF-8 sequence";
        pointAt(d.badUtf8);
        return st;
    }
    const pugi::xml_parse_result res =
        into.load_buffer(d.utf8.data(), d.utf8.size(), kParseFlags, pugi::encoding_utf8);
    if (!res) {
        st.code = res.status == pugi::status_no_document_element ? DocumentStatus::Code::NoRootElement
                                                                 : DocumentStatus::Code::ParseError;
        st.detailKey = parseStatusKey(res.status);
        st.detail = res.description();
        pointAt(res.offset);
        return st;
    }
    if (!into.document_element()) {
        st.code = DocumentStatus::Code::NoRootElement;
        return st;
    }
    if (const std::ptrdiff_t bad = badReferenceIn(d.utf8); bad >= 0) {
        st.code = DocumentStatus::Code::ParseError;
        st.detailKey = "document.parse.bad_reference";
        st.detail = "character reference to a code that is no character";
        pointAt(bad);
        return st;
    }
    restoreTopLevelWhitespace(into, d.utf8);
    keepExplicitEmptyElements(into, d.utf8);
    encoding = d.encoding;
    bom = d.bom;
    customEntity = customEntityIn(d.utf8);
    read = fingerprint;
    return st;
}

DocumentStatus ConfigDocument::load(const std::filesystem::path& fileName) {
    pugi::xml_document fresh;
    pugi::xml_encoding encoding = pugi::encoding_utf8;
    bool bom = false;
    std::string entity;
    Fingerprint read;
    DocumentStatus st = parseFile(fileName, fresh, encoding, bom, entity, read);
    if (!st.ok()) return st;
    onDisk_ = read;
    doc_ = std::move(fresh);
    fileName_ = fileName;
    encoding_ = encoding;
    bom_ = bom;
    customEntity_ = std::move(entity);
    loaded_ = true;
    return st;
}

DocumentStatus ConfigDocument::reload() {
    if (fileName_.empty()) {
        DocumentStatus st;
        st.code = DocumentStatus::Code::NotLoaded;
        return st;
    }
    return load(fileName_);
}

DocumentStatus ConfigDocument::save() {
    DocumentStatus st;
    st.fileName = fileName_;
    if (!loaded_ || fileName_.empty()) {
        st.code = DocumentStatus::Code::NotLoaded;
        return st;
    }
    if (!customEntity_.empty()) {
        st.code = DocumentStatus::Code::CustomEntity;
        st.detail = customEntity_;
        return st;
    }
    if (encoding_ == pugi::encoding_latin1) {
        // The writer would put "?" in place of such a character: refuse
        // rather than lose it without a word.
        if (std::string ch = firstNonLatin1(doc_); !ch.empty()) {
            st.code = DocumentStatus::Code::Unrepresentable;
            st.detail = std::move(ch);
            return st;
        }
    }
    // A second editor or a text editor may have written the file since it
    // was read here; saving over that would throw its work away without a
    // word. A file that is gone or cannot be read is no such case: the write
    // below recreates it or reports its own error.
    {
        std::string error;
        if (auto now = detail::readWholeFile(fileName_, error); now && fingerprintOf(*now) != onDisk_) {
            st.code = DocumentStatus::Code::ChangedOnDisk;
            return st;
        }
    }
    struct Collect : pugi::xml_writer {
        std::string bytes;
        void write(const void* data, std::size_t size) override {
            bytes.append(static_cast<const char*>(data), size);
        }
    } out;
    doc_.save(out, "", kSaveFlags | (bom_ ? pugi::format_write_bom : 0u), encoding_);
    if (std::string err = detail::writeFileAtomically(fileName_, out.bytes); !err.empty()) {
        st.code = DocumentStatus::Code::WriteFailed;
        st.detail = std::move(err);
        return st;
    }
    onDisk_ = fingerprintOf(out.bytes);
    return st;
}

DocumentStatus ConfigDocument::saveAndReload() {
    DocumentStatus st = save();
    if (!st.ok()) return st;
    return reload();
}

// ---- lookups -------------------------------------------------------------

pugi::xml_node ConfigDocument::sets() const { return root().child("sets"); }
pugi::xml_node ConfigDocument::messagegroups() const { return root().child("messagegroups"); }

namespace {
pugi::xml_node firstNamed(pugi::xml_node parent, std::string_view name) {
    for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling()) {
        if (c.type() == pugi::node_element && equals(c.attribute("name").value(), name)) return c;
    }
    return {};
}
}  // namespace

pugi::xml_node ConfigDocument::Finde_XML_SetByName(std::string_view Setname) const {
    return firstNamed(sets(), Setname);
}

pugi::xml_node ConfigDocument::Finde_XML_Element(std::string_view EingabeElement,
                                                 pugi::xml_node xml_Node_Set) {
    // The last one counts: an assignment appended later overrides an older
    // duplicate that a hand edit may have left in the set.
    for (pugi::xml_node c = xml_Node_Set.last_child(); c; c = c.previous_sibling()) {
        if (c.type() == pugi::node_element && equals(c.attribute("name").value(), EingabeElement)) return c;
    }
    return {};
}

pugi::xml_node ConfigDocument::Finde_XML_MessageGroupByName(std::string_view Group) const {
    return firstNamed(messagegroups(), Group);
}

pugi::xml_node ConfigDocument::Finde_XML_MessageGroup(pugi::xml_node xml_Node_Element) const {
    if (!xml_Node_Element) return {};
    return Finde_XML_MessageGroupByName(XML_GetChildNodeValue(xml_Node_Element, "group", ""));
}

pugi::xml_node ConfigDocument::Finde_XML_MessageByName(std::string_view MessageName,
                                                       pugi::xml_node xml_Node_MessageGroup) {
    return firstNamed(xml_Node_MessageGroup, MessageName);
}

pugi::xml_node ConfigDocument::Finde_XML_Message(pugi::xml_node xml_Node_Element,
                                                 pugi::xml_node xml_Node_MessageGroup) {
    if (!xml_Node_MessageGroup) return {};
    return Finde_XML_MessageByName(XML_GetChildNodeValue(xml_Node_Element, "name", ""),
                                   xml_Node_MessageGroup);
}

std::string ConfigDocument::XML_GetChildNodeValue(pugi::xml_node ANode, std::string_view AName,
                                                  std::string_view ADefault) {
    if (!ANode) return std::string(ADefault);
    for (pugi::xml_node c = ANode.first_child(); c; c = c.next_sibling()) {
        if (c.type() == pugi::node_element && equals(c.name(), AName)) {
            const char* value = c.text().get();
            return *value ? std::string(value) : std::string(ADefault);
        }
    }
    return std::string(ADefault);
}

namespace {
std::vector<std::string> namesOf(pugi::xml_node parent) {
    std::vector<std::string> names;
    for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling()) {
        if (c.type() == pugi::node_element) names.emplace_back(c.attribute("name").value());
    }
    return names;
}
}  // namespace

std::vector<std::string> ConfigDocument::setNames() const { return namesOf(sets()); }
std::vector<std::string> ConfigDocument::groupNames() const { return namesOf(messagegroups()); }
std::vector<std::string> ConfigDocument::messageNames(pugi::xml_node messagegroup) {
    return namesOf(messagegroup);
}

ElementResolution ConfigDocument::resolveElement(std::string_view setName,
                                                 std::string_view elementName) const {
    ElementResolution r;
    r.set = Finde_XML_SetByName(setName);
    r.element = Finde_XML_Element(elementName, r.set);
    if (!r.element) return r;
    r.groupName = XML_GetChildNodeValue(r.element, "group", "");
    r.messageName = XML_GetChildNodeValue(r.element, "name", "");
    r.group = Finde_XML_MessageGroup(r.element);
    if (!r.group) {
        r.state = ElementResolution::State::DanglingGroup;
        return r;
    }
    r.message = Finde_XML_Message(r.element, r.group);
    r.state = r.message ? ElementResolution::State::Resolved : ElementResolution::State::DanglingMessage;
    return r;
}

ElementResolution ConfigDocument::resolveElement(std::string_view setName, int elementNumber) const {
    if (!elementInfo(elementNumber)) return {};
    return resolveElement(setName, Wie_lautet_EingabeElementName(elementNumber));
}

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
        if (c.type() == pugi::node_element && equals(c.name(), name)) {
            child = c;
            break;
        }
    }
    if (!child) child = appendElementIndented(parent, name);
    child.text().set(std::string(value).c_str());
    return child;
}

}  // namespace korvane
