#pragma once
// The byte-faithful layer under the configuration document, part one: the
// file's bytes as the parser reads them and as the writer must give them
// back. The parser always works on UTF-8; this layer turns UTF-16/32 and
// ISO-8859-1 files into UTF-8, refuses encodings it could not write back,
// and finds what the parser would silently change (entities of the file's
// own, references to codes that are no character, characters ISO-8859-1
// cannot hold).

#include <cstddef>
#include <pugixml.hpp>
#include <string>
#include <string_view>

namespace korvane::faithful {

// Whitespace text is kept and line ends are left as they are, so that an
// unchanged part of the file is written back as it was read. As a fragment,
// the document level keeps its whitespace and whatever else stands there,
// where a full parse would drop it silently.
inline constexpr unsigned kParseFlags =
    (pugi::parse_full | pugi::parse_ws_pcdata | pugi::parse_fragment) & ~pugi::parse_eol;
// Raw output writes the kept whitespace instead of re-indenting; the file's
// own declaration node is written, none is invented.
inline constexpr unsigned kSaveFlags = pugi::format_raw | pugi::format_no_declaration;

// A file's contents as UTF-8, with what is needed to write them back.
struct DecodedText {
    std::string utf8;
    pugi::xml_encoding encoding = pugi::encoding_utf8;
    bool bom = false;
    std::string unsupported;      // a declared encoding the program refuses (lower case)
    bool broken = false;          // a UTF-16/32 text that does not decode
    std::ptrdiff_t badUtf8 = -1;  // offset of the first byte that is no UTF-8
    bool tookRaw = false;         // utf8 holds the bytes given up, unchanged
};

// Turns the file's bytes into UTF-8 and remembers what to write back.
DecodedText decodeFileBytes(std::string_view raw);
// The same for bytes the caller gives up. A file that is UTF-8 already,
// without a byte order mark, becomes the text without a copy (a large
// library is read faster); tookRaw says so, and raw is then empty.
// Otherwise raw is left as it was.
DecodedText decodeFileBytes(std::string&& raw);

// The encoding named in an XML declaration at the very start of an 8-bit
// text, as written, or "" when there is no declaration or it names none.
std::string declaredEncoding(std::string_view text);

// Offset of the first byte that does not belong to a well-formed UTF-8
// sequence, or -1 when the whole text is UTF-8.
std::ptrdiff_t firstInvalidUtf8(std::string_view text);

// Appends the UTF-8 bytes of the code point cp.
void appendUtf8(std::string& out, char32_t cp);

// First "&name;" in text whose name is not one of the five XML entities, or "".
std::string findCustomEntity(std::string_view text);
// The first entity of the file's own in a text or attribute value of the
// parsed UTF-8 text (comments, CDATA and the doctype do not count), or "".
std::string customEntityIn(const std::string& utf8);

// Position of the first numeric character reference in text whose code is
// no character (0, a surrogate, above 10FFFF); npos when there is none.
std::size_t findBadReference(std::string_view text);
// Offset of the node of the parsed UTF-8 text whose text or attribute value
// holds such a reference, or -1.
std::ptrdiff_t badReferenceIn(const std::string& utf8);

// The first character above U+00FF in a UTF-8 text (as its bytes), or "".
std::string nonLatin1In(std::string_view utf8);
// The first such character where XML has no character references: in names,
// comments, CDATA, processing instructions, the doctype and the declaration.
// Text and attribute values of elements do not count; see below.
std::string firstNonLatin1OutsideText(const pugi::xml_document& doc);
// The ISO-8859-1 bytes of a UTF-8 text, every character above U+00FF
// written as a numeric character reference ("&#8364;"), which any XML
// reader turns back into the character. Only right for text where such a
// reference may stand. False when utf8 is not UTF-8.
bool toLatin1WithReferences(std::string_view utf8, std::string& out);

}  // namespace korvane::faithful
