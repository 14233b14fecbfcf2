#include "xml_layout.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "xml_encoding.h"

namespace korvane::faithful {
namespace {

// Parses as the document does and writes back as it does.
std::string roundTrip(const std::string& xml, pugi::xml_document& doc) {
    EXPECT_TRUE(doc.load_buffer(xml.data(), xml.size(), kParseFlags, pugi::encoding_utf8));
    keepExplicitEmptyElements(doc, xml);
    std::ostringstream out;
    doc.save(out, "", kSaveFlags, pugi::encoding_utf8);
    return out.str();
}

TEST(FileLayout, UntouchedTextIsWrittenBackAsRead) {
    const std::vector<std::string> texts = {
        "<a/>",
        "<?xml version=\"1.0\"?>\n\n<a/>\n\n",
        "<?xml version=\"1.0\"?>\r\n<!DOCTYPE a>\r\n<!-- c -->\r\n<a>\r\n</a>\r\n",
        "<a><b></b><c/><d>\n</d></a>",
        "<a x=\"1\" y=\"a>b\"></a>",  // '>' inside a value is no end of the tag
        "<a>\n\t<b>x</b>\n</a>\n<!-- after -->\n<?pi after?>\n",
    };
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        pugi::xml_document doc;
        EXPECT_EQ(roundTrip(text, doc), text);
    }
}

TEST(FileLayout, DeepNestingDoesNotExhaustTheStack) {
    std::string deep;
    for (int i = 0; i < 200000; ++i) deep += "<a>";
    for (int i = 0; i < 200000; ++i) deep += "</a>";
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_buffer(deep.data(), deep.size(), kParseFlags, pugi::encoding_utf8));
    keepExplicitEmptyElements(doc, deep);  // must return, not overflow
    pugi::xml_node n = doc.document_element();
    while (n.first_child().type() == pugi::node_element) n = n.first_child();
    EXPECT_EQ(n.first_child().type(), pugi::node_pcdata);  // the innermost <a></a> keeps its end tag
}

TEST(FileLayout, IndentationAndLineBreaksAreTakenFromTheNeighbours) {
    struct Case {
        const char* what;
        std::string xml;
        std::string path;  // element names from the root down, '/'-separated
        std::string indentBefore;
        std::string lineBreak;
        std::string childIndent;
    };
    const std::vector<Case> cases = {
        {"two spaces", "<a>\n  <b>\n    <c/>\n  </b>\n</a>", "b", "  ", "\n", "    "},
        {"tabs and CR LF", "<a>\r\n\t<b/>\r\n</a>", "b", "\t", "\r\n", "\t\t"},
        {"no whitespace at all", "<a><b/></a>", "b", "", "\n", "  "},
        {"children indented their own way", "<a>\n  <b>\n        <c/></b></a>", "b", "  ", "\n", "        "},
        {"line break found further up", "<a>\r\n <b><c/></b></a>", "b/c", "", "\r\n", "  "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        pugi::xml_document doc;
        ASSERT_TRUE(doc.load_buffer(c.xml.data(), c.xml.size(), kParseFlags, pugi::encoding_utf8));
        const pugi::xml_node node = doc.document_element().first_element_by_path(c.path.c_str());
        ASSERT_TRUE(node);
        EXPECT_EQ(indentBefore(node), c.indentBefore);
        EXPECT_EQ(lineBreakNear(node), c.lineBreak);
        EXPECT_EQ(childIndentOf(node), c.childIndent);
    }
}

TEST(FileLayout, EditsGetTheirOwnIndentedLines) {
    struct Case {
        const char* what;
        std::string before;
        void (*edit)(pugi::xml_node root);
        std::string after;
    };
    const std::vector<Case> cases = {
        {"append after siblings", "<a>\n  <b/>\n</a>",
         [](pugi::xml_node a) { appendElementIndented(a, "c"); }, "<a>\n  <b/>\n  <c/>\n</a>"},
        {"append into an empty parent", "<a>\n  <b/>\n</a>",
         [](pugi::xml_node a) { appendElementIndented(a.child("b"), "c"); },
         "<a>\n  <b>\n    <c/>\n  </b>\n</a>"},
        {"insert after a sibling", "<a>\n  <b/>\n  <d/>\n</a>",
         [](pugi::xml_node a) { insertElementAfterIndented(a.child("b"), "c"); },
         "<a>\n  <b/>\n  <c/>\n  <d/>\n</a>"},
        {"remove takes its line along", "<a>\n  <b/>\n  <c/>\n</a>",
         [](pugi::xml_node a) { removeElementIndented(a.child("b")); }, "<a>\n  <c/>\n</a>"},
        {"copy keeps the source's inside", "<a>\n  <b>\n    <x>1</x>\n  </b>\n</a>",
         [](pugi::xml_node a) { appendCopyIndented(a, a.child("b")); },
         "<a>\n  <b>\n    <x>1</x>\n  </b>\n  <b>\n    <x>1</x>\n  </b>\n</a>"},
        {"set text creates the child once", "<a>\n  <m/>\n</a>",
         [](pugi::xml_node a) {
             setChildText(a.child("m"), "left", "B0");
             setChildText(a.child("m"), "left", "B1");
         },
         "<a>\n  <m>\n    <left>B1</left>\n  </m>\n</a>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        pugi::xml_document doc;
        ASSERT_TRUE(doc.load_buffer(c.before.data(), c.before.size(), kParseFlags, pugi::encoding_utf8));
        c.edit(doc.document_element());
        std::ostringstream out;
        doc.save(out, "", kSaveFlags, pugi::encoding_utf8);
        EXPECT_EQ(out.str(), c.after);
    }
}

}  // namespace
}  // namespace korvane::faithful
