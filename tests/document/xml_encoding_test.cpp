#include "xml_encoding.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korvane::faithful {
namespace {

std::string utf16le(std::string_view ascii, bool bom) {
    std::string out = bom ? "\xFF\xFE" : "";
    for (char c : ascii) out += {c, '\0'};
    return out;
}

std::string utf32be(std::string_view ascii) {
    std::string out;
    for (char c : ascii) out += {'\0', '\0', '\0', c};
    return out;
}

TEST(FileBytes, DecodeToUtf8AndRememberHowToWriteBack) {
    struct Case {
        const char* what;
        std::string raw;
        std::string utf8;
        pugi::xml_encoding encoding;
        bool bom;
        std::string unsupported;
    };
    const std::vector<Case> cases = {
        {"plain UTF-8", "<a>\xC3\xBC</a>", "<a>\xC3\xBC</a>", pugi::encoding_utf8, false, ""},
        {"UTF-8 with mark", "\xEF\xBB\xBF<a/>", "<a/>", pugi::encoding_utf8, true, ""},
        // The mark settles it: the wrong declaration is kept as written.
        {"mark beats a Latin-1 declaration", "\xEF\xBB\xBF<?xml version='1.0' encoding='latin1'?><a/>",
         "<?xml version='1.0' encoding='latin1'?><a/>", pugi::encoding_utf8, true, ""},
        {"Latin-1 bytes become UTF-8", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>\xFC\xFF</a>",
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>\xC3\xBC\xC3\xBF</a>", pugi::encoding_latin1,
         false, ""},
        {"encoding names ignore case", "<?xml version=\"1.0\" encoding=\"Latin-1\"?><a/>",
         "<?xml version=\"1.0\" encoding=\"Latin-1\"?><a/>", pugi::encoding_latin1, false, ""},
        {"UTF-16 with mark", utf16le("<a/>", true), "<a/>", pugi::encoding_utf16_le, true, ""},
        {"UTF-16 told by its first bytes", utf16le("<?xml version='1.0'?><a/>", false),
         "<?xml version='1.0'?><a/>", pugi::encoding_utf16_le, false, ""},
        {"UTF-32 big endian told by its first bytes", utf32be("<a/>"), "<a/>", pugi::encoding_utf32_be, false,
         ""},
        {"an encoding the writer lacks is refused", "<?xml version=\"1.0\" encoding=\"Windows-1252\"?><a/>",
         "", pugi::encoding_utf8, false, "windows-1252"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const DecodedText d = decodeFileBytes(c.raw);
        EXPECT_EQ(d.unsupported, c.unsupported);
        if (!c.unsupported.empty()) continue;
        EXPECT_FALSE(d.broken);
        EXPECT_EQ(d.badUtf8, -1);
        EXPECT_EQ(d.utf8, c.utf8);
        EXPECT_EQ(d.encoding, c.encoding);
        EXPECT_EQ(d.bom, c.bom);

        // Given up, the bytes are taken over only where they are the text
        // unchanged; otherwise the caller still has them.
        std::string raw = c.raw;
        const DecodedText taken = decodeFileBytes(std::move(raw));
        EXPECT_EQ(taken.utf8, c.utf8);
        const bool plain = c.encoding == pugi::encoding_utf8 && !c.bom;
        EXPECT_EQ(taken.tookRaw, plain);
        EXPECT_EQ(raw, plain ? std::string() : c.raw);
    }
}

TEST(FileBytes, DamagedTextIsFoundWhereItIs) {
    struct Case {
        const char* what;
        std::string raw;
        bool broken;
        std::ptrdiff_t badUtf8;
    };
    const std::vector<Case> cases = {
        {"odd UTF-16 length", utf16le("<a/>", true) + "x", true, -1},
        {"lone high surrogate at the end", "\xFF\xFE<\0\x00\xD8", true, -1},
        {"low surrogate first", std::string("\xFF\xFE\x00\xDC", 4), true, -1},
        {"UTF-32 above the last code point", std::string("\x00\x00\xFE\xFF\x00\x11\x00\x00", 8), true, -1},
        {"stray continuation byte", "<a>\x80</a>", false, 3},
        {"Latin-1 byte in a UTF-8 file", "<a>gr\xFCn</a>", false, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const DecodedText d = decodeFileBytes(c.raw);
        EXPECT_EQ(d.broken, c.broken);
        EXPECT_EQ(d.badUtf8, c.badUtf8);
    }
}

TEST(FileBytes, Utf8ValidityFollowsTheStandard) {
    struct Case {
        std::string text;
        std::ptrdiff_t bad;
    };
    const std::vector<Case> cases = {
        {"", -1},
        {"abc", -1},
        {"\xC3\xA4\xE2\x82\xAC\xF0\x9F\x8E\xB9", -1},  // two, three and four bytes
        {"a\xC0\x80", 1},                              // overlong NUL
        {"ab\xE0\x80\xAF", 2},                         // overlong three-byte form
        {"\xED\xA0\x80", 0},                           // surrogate D800
        {"\xF4\x90\x80\x80", 0},                       // above U+10FFFF
        {"\xF5\x80\x80\x80", 0},                       // no such lead byte
        {"xy\xE2\x82", 2},                             // cut off at the end
        {"\xE2\x28\xA1", 0},                           // continuation byte missing
        // Long runs of ASCII around the faults, at every place in a word.
        {"0123456789abcdef\x80", 16},
        {"0123456789abc\xC3\xA4"
         "def0123\xFF",
         22},
        {"0123456\xE2\x82\xAC"
         "0123456789abcdefg",
         -1},
        {std::string(1000, 'a') + "\xE2\x82", 1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(firstInvalidUtf8(c.text), c.bad);
    }
}

TEST(FileBytes, DeclaredEncodingIsReadOnlyFromTheDeclaration) {
    struct Case {
        std::string text;
        std::string encoding;
    };
    const std::vector<Case> cases = {
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>", "ISO-8859-1"},
        {"<?xml version='1.0' encoding = 'latin1' ?>", "latin1"},
        {"<?xml version=\"1.0\"?><a encoding=\"latin1\"/>", ""},  // an attribute further on is no declaration
        {"<?xml version=\"1.0\" encoding=latin1?>", ""},          // unquoted: names nothing
        {"<?xml version=\"1.0\" encoding=\"latin1", ""},          // unterminated value
        {"<a/>", ""},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(declaredEncoding(c.text), c.encoding);
    }
}

TEST(FileReferences, OwnEntitiesAndImpossibleCodesAreFound) {
    struct Case {
        std::string text;
        std::string entity;
        bool badReference;
    };
    const std::vector<Case> cases = {
        {"a &amp; &lt; &gt; &quot; &apos; b", "", false},
        {"x &ouml; y &auml;", "ouml", false},
        {"& alone; &;", "", false},
        {"&#65; &#x41; &#x10FFFF;", "", false},
        {"&#0;", "", true},
        {"&#xD800;", "", true},
        {"&#x110000;", "", true},
        // A long run of digits must not wrap around to a harmless code.
        {"&#4294967361;", "", true},
        {"&#x1000000041;", "", true},
        {"&#65", "", false},  // unterminated: the parser keeps it as text
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(findCustomEntity(c.text), c.entity);
        EXPECT_EQ(findBadReference(c.text) != std::string_view::npos, c.badReference);
    }
}

TEST(FileReferences, OnlyTextAndAttributeValuesCount) {
    struct Case {
        std::string xml;
        std::string entity;
        bool badReference;
    };
    const std::vector<Case> cases = {
        {"<a>&ouml;</a>", "ouml", false},
        {"<a b=\"&ouml;\"/>", "ouml", false},
        {"<a><!-- &ouml; &#0; --></a>", "", false},
        {"<a><![CDATA[&ouml; &#0;]]></a>", "", false},
        {"<!DOCTYPE a [<!ENTITY ouml \"x\">]><a/>", "", false},
        {"<a>x&#0;y</a>", "", true},
        {"<a b=\"&#xDFFF;\"/>", "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.xml);
        EXPECT_EQ(customEntityIn(c.xml), c.entity);
        EXPECT_EQ(badReferenceIn(c.xml) >= 0, c.badReference);
    }
}

TEST(FileLatin1, CharactersAboveFFAreFound) {
    struct Case {
        std::string utf8;
        std::string found;
    };
    const std::vector<Case> cases = {
        {"plain", ""},
        {"\xC2\xA0 \xC3\xBF", ""},           // U+00A0 and U+00FF fit
        {"5 \xE2\x82\xAC", "\xE2\x82\xAC"},  // euro sign
        {"\xC4\x80", "\xC4\x80"},            // U+0100, the first that does not fit
        {"a\xF0\x9F\x8E\xB9", "\xF0\x9F\x8E\xB9"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.utf8);
        EXPECT_EQ(nonLatin1In(c.utf8), c.found);
    }

    // Only where no character reference can stand.
    struct Doc {
        std::string xml;
        std::string found;
    };
    const std::vector<Doc> docs = {
        {"<a b=\"\xE2\x82\xAC\"><c>\xE2\x82\xAC</c></a>", ""},
        {"<a><!-- \xE2\x80\x9E --></a>", "\xE2\x80\x9E"},
        {"<a><![CDATA[\xE2\x80\x9E]]></a>", "\xE2\x80\x9E"},
        {"<a><?pi \xE2\x80\x9E?></a>", "\xE2\x80\x9E"},
        {"<a \xC4\x80=\"1\"/>", "\xC4\x80"},
        {"<\xC4\x80/>", "\xC4\x80"},
        {"<!DOCTYPE a [<!-- \xC4\x80 -->]><a/>", "\xC4\x80"},
        {"<?xml version=\"\xC4\x80\"?><a/>", "\xC4\x80"},
    };
    for (const Doc& d : docs) {
        SCOPED_TRACE(d.xml);
        pugi::xml_document doc;
        ASSERT_TRUE(doc.load_string(d.xml.c_str(), kParseFlags));
        EXPECT_EQ(firstNonLatin1OutsideText(doc), d.found);
    }
}

TEST(FileLatin1, CharactersAboveFFBecomeReferences) {
    struct Case {
        std::string utf8;
        std::string latin1;  // "" with ok false: refused
        bool ok;
    };
    const std::vector<Case> cases = {
        {"plain & <text>", "plain & <text>", true},
        {"f\xC3\xBCr \xC3\xBF\xC2\xA0", "f\xFCr \xFF\xA0", true},
        {"5 \xE2\x82\xAC", "5 &#8364;", true},
        {"\xC4\x80", "&#256;", true},
        {"\xE2\x80\x9Ez\xE2\x80\x9C", "&#8222;z&#8220;", true},
        {"\xF0\x9F\x8E\xB9!", "&#127929;!", true},
        {"cut \xE2\x82", "", false},
        {"stray \x80", "", false},
        {"overlong \xC0\xAF", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.utf8);
        std::string out;
        EXPECT_EQ(toLatin1WithReferences(c.utf8, out), c.ok);
        if (c.ok) {
            EXPECT_EQ(out, c.latin1);
        }
    }
}

}  // namespace
}  // namespace korvane::faithful
