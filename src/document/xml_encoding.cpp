#include "xml_encoding.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "xml_layout.h"

namespace korvane::faithful {
namespace {

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
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

// ---- custom entities ---------------------------------------------------

bool isNameStart(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == ':' ||
           static_cast<unsigned char>(c) >= 0x80;
}
bool isNameChar(char c) {
    return isNameStart(c) || std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '.';
}

}  // namespace

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
        // Plain ASCII, most of any library, is passed eight bytes at a time.
        std::uint64_t word;
        if (i + sizeof word <= n &&
            (std::memcpy(&word, p + i, sizeof word), word & 0x8080808080808080u) == 0) {
            i += sizeof word;
            continue;
        }
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

// Turns the file's bytes into UTF-8 and remembers what to write back. The
// parser then always works on UTF-8, so parse offsets are offsets into one
// known buffer, and a declared encoding that the parser would silently take
// for UTF-8 is caught here instead of corrupting the file on save.
namespace {

DecodedText decode(std::string_view raw, std::string* giveUp) {
    DecodedText d;
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
        if (giveUp && !d.bom) {
            d.utf8 = std::move(*giveUp);
            giveUp->clear();
            d.tookRaw = true;
        } else {
            d.utf8.assign(body);
        }
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

}  // namespace

DecodedText decodeFileBytes(std::string_view raw) { return decode(raw, nullptr); }

DecodedText decodeFileBytes(std::string&& raw) { return decode(raw, &raw); }

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

std::string firstNonLatin1OutsideText(const pugi::xml_document& doc) {
    struct Walker : pugi::xml_tree_walker {
        std::string found;
        bool for_each(pugi::xml_node& n) override {
            // Text and attribute values of elements take references; the
            // attributes of the declaration are no such values.
            const bool valuesTakeReferences = n.type() == pugi::node_element;
            found = nonLatin1In(n.name());
            if (found.empty() && n.type() != pugi::node_pcdata) found = nonLatin1In(n.value());
            for (auto a = n.first_attribute(); found.empty() && a; a = a.next_attribute()) {
                found = nonLatin1In(a.name());
                if (found.empty() && !valuesTakeReferences) found = nonLatin1In(a.value());
            }
            return found.empty();
        }
    } walker;
    pugi::xml_node(doc).traverse(walker);
    return walker.found;
}

bool toLatin1WithReferences(std::string_view utf8, std::string& out) {
    out.clear();
    out.reserve(utf8.size());
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const std::size_t n = utf8.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char b = p[i];
        if (b < 0x80) {
            out += static_cast<char>(b);
            ++i;
            continue;
        }
        const std::ptrdiff_t bad = firstInvalidUtf8(utf8.substr(i, std::min<std::size_t>(4, n - i)));
        const std::size_t len = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
        if (bad == 0) return false;
        char32_t cp = b & (len == 2 ? 0x1F : len == 3 ? 0x0F : 0x07);
        for (std::size_t k = 1; k < len; ++k) cp = (cp << 6) | (p[i + k] & 0x3F);
        if (cp <= 0xFF) {
            out += static_cast<char>(cp);
        } else {
            out += "&#";
            out += std::to_string(static_cast<std::uint32_t>(cp));
            out += ';';
        }
        i += len;
    }
    return true;
}

}  // namespace korvane::faithful
