#include "config_document.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <random>
#include <thread>

#include "file_io.h"
#include "file_size_limit.h"
#include "temp_folder.h"

namespace korvane {
namespace {

using testing::readFile;
using testing::TempFolder;
using testing::writeFile;
using Code = DocumentStatus::Code;

// Names repeat on purpose: every lookup's tie-break is visible in which
// node (told apart by its "id" attribute) comes back.
const char* const kLibrary = R"(<?xml version="1.0" encoding="UTF-8"?>
<lib>
  <messagegroups>
    <messagegroup name="G" id="g1">
      <message name="M" id="m1"/>
      <message name="M" id="m2"/>
      <message name="m" id="m3"/>
    </messagegroup>
    <messagegroup name="G" id="g2">
      <message name="Only2" id="m4"/>
    </messagegroup>
    <messagegroup name="not in use" id="g3"/>
  </messagegroups>
  <sets>
    <set name="S" id="s1">
      <element name="Fader 1" id="e1"><group>G</group><name>M</name></element>
      <element name="Fader 1" id="e2"><group>G</group><name>m</name></element>
      <element name="Taste 1" id="e3"><group>Missing</group><name>M</name></element>
      <element name="Taste 2" id="e4"><group>G</group><name>Only2</name></element>
      <element name="Taste 3" id="e5"><group></group><name>M</name></element>
    </set>
    <set name="S" id="s2"/>
    <set name="s" id="s3"/>
  </sets>
</lib>
)";

class LoadedLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        writeFile(tmp / "lib.xml", kLibrary);
        ASSERT_TRUE(doc.load(tmp / "lib.xml").ok());
    }
    static std::string id(pugi::xml_node n) { return n ? n.attribute("id").value() : "nothing"; }

    TempFolder tmp;
    ConfigDocument doc;
};

TEST_F(LoadedLibrary, LookupsFollowTheirTieBreaks) {
    const pugi::xml_node s1 = doc.Finde_XML_SetByName("S");
    const pugi::xml_node g1 = doc.Finde_XML_MessageGroupByName("G");
    struct Case {
        std::string what;
        pugi::xml_node found;
        std::string expected;
    };
    const Case cases[] = {
        {"first set of a repeated name", s1, "s1"},
        {"set names are case-sensitive", doc.Finde_XML_SetByName("s"), "s3"},
        {"unknown set", doc.Finde_XML_SetByName("S "), "nothing"},
        {"last element of a repeated name", ConfigDocument::Finde_XML_Element("Fader 1", s1), "e2"},
        {"element in no set", ConfigDocument::Finde_XML_Element("Fader 1", pugi::xml_node()), "nothing"},
        {"element not in set", ConfigDocument::Finde_XML_Element("Fader 2", s1), "nothing"},
        {"first group of a repeated name", g1, "g1"},
        {"group of an element", doc.Finde_XML_MessageGroup(ConfigDocument::Finde_XML_Element("Taste 1", s1)),
         "nothing"},
        {"group of no element", doc.Finde_XML_MessageGroup(pugi::xml_node()), "nothing"},
        {"first message of a repeated name", ConfigDocument::Finde_XML_MessageByName("M", g1), "m1"},
        {"message names are case-sensitive", ConfigDocument::Finde_XML_MessageByName("m", g1), "m3"},
        {"message in no group", ConfigDocument::Finde_XML_MessageByName("M", pugi::xml_node()), "nothing"},
        // The second group "G" is never reached by name.
        {"message only in a shadowed group", ConfigDocument::Finde_XML_MessageByName("Only2", g1), "nothing"},
        {"message of an element",
         ConfigDocument::Finde_XML_Message(ConfigDocument::Finde_XML_Element("Fader 1", s1), g1), "m3"},
        {"message of an element in no group",
         ConfigDocument::Finde_XML_Message(ConfigDocument::Finde_XML_Element("Fader 1", s1),
                                           pugi::xml_node()),
         "nothing"},
    };
    for (const auto& c : cases) EXPECT_EQ(id(c.found), c.expected) << c.what;
}

TEST_F(LoadedLibrary, NamesComeInDocumentOrderWithRepeats) {
    EXPECT_EQ(doc.setNames(), (std::vector<std::string>{"S", "S", "s"}));
    EXPECT_EQ(doc.groupNames(), (std::vector<std::string>{"G", "G", "not in use"}));
    EXPECT_EQ(ConfigDocument::messageNames(doc.Finde_XML_MessageGroupByName("G")),
              (std::vector<std::string>{"M", "M", "m"}));
    EXPECT_TRUE(ConfigDocument::messageNames(pugi::xml_node()).empty());
}

TEST(ConfigDocumentLists, OnlyTheirOwnKindOfNodeIsListedOrFound) {
    // Hand-edited files may hold notes of their own among the entries; they
    // are kept, but they are no configurations, groups or messages.
    TempFolder tmp;
    writeFile(tmp / "d.xml",
              "<lib><sets><note name=\"S\"/><set name=\"S\" id=\"s1\"><element name=\"Fader 1\" id=\"e1\"/>"
              "<remark name=\"Fader 1\"/></set>text<!-- c --><set name=\"T\"/><x/></sets>"
              "<messagegroups><note name=\"G\"/><messagegroup name=\"G\" id=\"g1\"><hint name=\"M\"/>"
              "<message name=\"M\" id=\"m1\"/><y/></messagegroup><z/></messagegroups></lib>");
    ConfigDocument doc;
    ASSERT_TRUE(doc.load(tmp / "d.xml").ok());
    EXPECT_EQ(doc.setNames(), (std::vector<std::string>{"S", "T"}));
    EXPECT_EQ(doc.groupNames(), (std::vector<std::string>{"G"}));
    const pugi::xml_node group = doc.Finde_XML_MessageGroupByName("G");
    EXPECT_STREQ(group.attribute("id").value(), "g1");
    EXPECT_EQ(ConfigDocument::messageNames(group), (std::vector<std::string>{"M"}));
    EXPECT_STREQ(ConfigDocument::Finde_XML_MessageByName("M", group).attribute("id").value(), "m1");
    const pugi::xml_node set = doc.Finde_XML_SetByName("S");
    EXPECT_STREQ(set.attribute("id").value(), "s1");
    EXPECT_STREQ(ConfigDocument::Finde_XML_Element("Fader 1", set).attribute("id").value(), "e1");
}

TEST_F(LoadedLibrary, ResolvingAnElementNamesWhatIsMissing) {
    using State = ElementResolution::State;
    struct Case {
        std::string set;
        std::string element;
        State state;
        std::string message;
        std::string de;
    };
    const Case cases[] = {
        {"S", "Fader 1", State::Resolved, "m3", ""},
        {"S", "Fader 2", State::NoAssignment, "nothing", ""},
        {"S", "Taste 1", State::DanglingGroup, "nothing",
         "Fehler in XML-Datei. <messagegroup name=\"Missing\"> wurde nicht gefunden."},
        {"S", "Taste 2", State::DanglingMessage, "nothing",
         "Fehler in XML-Datei. <message name=\"Only2\"> wurde nicht gefunden."},
        {"S", "Taste 3", State::DanglingGroup, "nothing",
         "Fehler in XML-Datei. <messagegroup name=\"\"> wurde nicht gefunden."},
        {"s", "Fader 1", State::NoAssignment, "nothing", ""},
        {"nope", "Fader 1", State::NoAssignment, "nothing", ""},
    };
    for (const auto& c : cases) {
        const ElementResolution r = doc.resolveElement(c.set, c.element);
        EXPECT_EQ(r.state, c.state) << c.element;
        EXPECT_EQ(id(r.message), c.message) << c.element;
        EXPECT_EQ(r.danglingText("de"), c.de) << c.element;
    }
    EXPECT_EQ(doc.resolveElement("S", "Taste 2").danglingText("en"),
              "Error in XML file. <message name=\"Only2\"> was not found.");
    EXPECT_EQ(doc.resolveElement("S", 0).state, State::Resolved);
    EXPECT_EQ(doc.resolveElement("S", 64).state, State::NoAssignment);
    EXPECT_EQ(doc.resolveElement("S", -1).state, State::NoAssignment);
}

TEST(ConfigDocumentChildValue, DefaultsForMissingNodeChildOrText) {
    pugi::xml_document d;
    d.load_string("<m><a>x</a><b></b><c/><d><!--c-->y</d><a>second</a></m>",
                  pugi::parse_full | pugi::parse_ws_pcdata);
    const pugi::xml_node m = d.first_child();
    struct Case {
        pugi::xml_node node;
        const char* child;
        const char* expected;
    };
    const Case cases[] = {
        {m, "a", "x"}, {m, "b", "def"}, {m, "c", "def"}, {m, "d", "y"}, {m, "z", "def"}, {{}, "a", "def"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ConfigDocument::XML_GetChildNodeValue(c.node, c.child, "def"), c.expected);
}

TEST(ConfigDocumentFile, UnchangedDocumentSavesByteForByte) {
    const std::string files[] = {
        kLibrary,
        "<?xml version=\"1.0\"?>\r\n<!DOCTYPE lib [\r\n  <!ELEMENT lib ANY>\r\n]>\r\n"
        "<!-- before -->\r\n<?app keep me?>\r\n<lib b=\"2\" a=\"1\">\r\n\t<unknown x=\"y\">text &amp; "
        "more</unknown>\r\n"
        "\t<sets>\r\n\t</sets><![CDATA[<raw & stuff>]]>\r\n</lib>\r\n<!-- after -->\r\n\r\n",
        "\xEF\xBB\xBF<lib><sets/></lib>",
        "<lib/>",
        // Empty elements keep the form they were written in, also when an
        // attribute value holds a ">" or "/".
        "<lib><a x=\"1>2\"></a><b y=\"/\"/><c/><d></d></lib>",
    };
    for (const auto& content : files) {
        TempFolder tmp;
        writeFile(tmp / "d.xml", content);
        ConfigDocument doc;
        ASSERT_TRUE(doc.load(tmp / "d.xml").ok());
        ASSERT_TRUE(doc.save().ok());
        EXPECT_EQ(readFile(tmp / "d.xml"), content);
    }
}

// What was read ahead is taken only while the file still holds it; whatever
// happened to the file in between, the document ends up with the file as it
// is at the load.
TEST(ConfigDocumentFile, ReadAheadNeverOutlivesAChangeOfTheFile) {
    struct Case {
        const char* what;
        const char* before;  // the file at the read-ahead; nullptr: none yet
        std::function<void(const std::filesystem::path&)> between;
        const char* loadedSet;  // nullptr: the load fails
    };
    const Case cases[] = {
        {"unchanged", "<lib><sets><set name=\"A\"/></sets></lib>", [](const std::filesystem::path&) {}, "A"},
        {"replaced", "<lib><sets><set name=\"A\"/></sets></lib>",
         [](const std::filesystem::path& f) {
             ASSERT_EQ(detail::writeFileAtomically(f, "<lib><sets><set name=\"B\"/></sets></lib>"), "");
         },
         "B"},
        {"created after", nullptr,
         [](const std::filesystem::path& f) { writeFile(f, "<lib><sets><set name=\"C\"/></sets></lib>"); },
         "C"},
        {"broken, then mended", "<lib><sets>",
         [](const std::filesystem::path& f) { writeFile(f, "<lib><sets><set name=\"D\"/></sets></lib>"); },
         "D"},
        {"removed", "<lib><sets><set name=\"A\"/></sets></lib>",
         [](const std::filesystem::path& f) { std::filesystem::remove(f); }, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder tmp;
        const auto file = tmp / "d.xml";
        if (c.before) writeFile(file, c.before);
        auto ahead = ConfigDocument::readAhead(file);
        ahead.wait();
        c.between(file);
        ConfigDocument doc;
        const DocumentStatus st = doc.load(file, std::move(ahead));
        if (!c.loadedSet) {
            EXPECT_FALSE(st.ok());
            continue;
        }
        ASSERT_TRUE(st.ok()) << st.message("en");
        EXPECT_EQ(doc.setNames(), std::vector<std::string>{c.loadedSet});
        // Bound to the file as read: a save writes it back unchanged.
        ASSERT_TRUE(doc.save().ok());
        EXPECT_EQ(readFile(file), "<lib><sets><set name=\"" + std::string(c.loadedSet) + "\"/></sets></lib>");
    }
}

TEST(ConfigDocumentFile, ChangeTouchesOnlyItsOwnBytes) {
    TempFolder tmp;
    writeFile(tmp / "d.xml", kLibrary);
    ConfigDocument doc;
    ASSERT_TRUE(doc.load(tmp / "d.xml").ok());
    pugi::xml_node set = doc.Finde_XML_SetByName("S");
    setChildText(ConfigDocument::Finde_XML_Element("Taste 2", set), "name", "M");
    pugi::xml_node added = appendElementIndented(doc.Finde_XML_SetByName("s"), "element");
    added.append_attribute("name") = "JogShuttle";
    setChildText(added, "group", "G");
    removeElementIndented(ConfigDocument::Finde_XML_Element("Taste 3", set));
    ASSERT_TRUE(doc.saveAndReload().ok());

    std::string expected = kLibrary;
    auto replace = [&](const std::string& from, const std::string& to) {
        const auto pos = expected.find(from);
        ASSERT_NE(pos, std::string::npos) << from;
        expected.replace(pos, from.size(), to);
    };
    replace("<name>Only2</name>", "<name>M</name>");
    replace("\n      <element name=\"Taste 3\" id=\"e5\"><group></group><name>M</name></element>", "");
    replace("<set name=\"s\" id=\"s3\"/>",
            "<set name=\"s\" id=\"s3\">\n      <element name=\"JogShuttle\">\n        <group>G</group>\n"
            "      </element>\n    </set>");
    EXPECT_EQ(readFile(tmp / "d.xml"), expected);
    EXPECT_EQ(doc.resolveElement("S", "Taste 2").state, ElementResolution::State::Resolved);
}

TEST(ConfigDocumentFile, NewLinesFollowTheFilesLineBreaksAndIndentation) {
    TempFolder tmp;
    writeFile(tmp / "d.xml", "<lib>\r\n\t<sets>\r\n\t\t<set name=\"a\"/>\r\n\t</sets>\r\n</lib>\r\n");
    ConfigDocument doc;
    ASSERT_TRUE(doc.load(tmp / "d.xml").ok());
    appendElementIndented(doc.sets(), "set").append_attribute("name") = "b";
    insertElementAfterIndented(doc.Finde_XML_SetByName("a"), "set").append_attribute("name") = "a2";
    ASSERT_TRUE(doc.save().ok());
    EXPECT_EQ(
        readFile(tmp / "d.xml"),
        "<lib>\r\n\t<sets>\r\n\t\t<set name=\"a\"/>\r\n\t\t<set name=\"a2\"/>\r\n\t\t<set name=\"b\"/>\r\n"
        "\t</sets>\r\n</lib>\r\n");
}

TEST(ConfigDocumentFile, Latin1FileKeepsItsEncoding) {
    TempFolder tmp;
    // "Gruppe für Ü" in ISO-8859-1: ü = FC, Ü = DC, ä = E4.
    const std::string before =
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<lib>\n  <messagegroups>\n"
        "    <messagegroup name=\"Gruppe f\xFCr \xDC\"><message name=\"a\"><left>B0</left></message>"
        "</messagegroup>\n  </messagegroups>\n</lib>\n";
    writeFile(tmp / "l.xml", before);
    ConfigDocument doc;
    ASSERT_TRUE(doc.load(tmp / "l.xml").ok());
    pugi::xml_node group = doc.Finde_XML_MessageGroupByName("Gruppe f\xC3\xBCr \xC3\x9C");  // UTF-8 in memory
    ASSERT_TRUE(group);
    setChildText(ConfigDocument::Finde_XML_MessageByName("a", group), "left", "B0 \xC3\xA4");
    ASSERT_TRUE(doc.saveAndReload().ok());
    std::string expected = before;
    expected.replace(expected.find("<left>B0</left>"), 15, "<left>B0 \xE4</left>");
    EXPECT_EQ(readFile(tmp / "l.xml"), expected);

    // A character the encoding does not have goes into the file as a
    // character reference, which any XML reader turns back into it: in text
    // and in attribute values, which are all a user can type into.
    group = doc.Finde_XML_MessageGroupByName("Gruppe f\xC3\xBCr \xC3\x9C");
    group.append_attribute("description") = "5 \xE2\x82\xAC \xE2\x80\x9Ez\xE2\x80\x9C";  // euro, quotes
    setChildText(ConfigDocument::Finde_XML_MessageByName("a", group), "left", "\xF0\x9F\x8E\xB9 & \xC3\xA4");
    ASSERT_TRUE(doc.saveAndReload().ok());
    expected.replace(expected.find("<left>B0 \xE4</left>"), 17, "<left>&#127929; &amp; \xE4</left>");
    expected.replace(expected.find("\">"), 2, "\" description=\"5 &#8364; &#8222;z&#8220;\">");
    EXPECT_EQ(readFile(tmp / "l.xml"), expected);
    group = doc.Finde_XML_MessageGroupByName("Gruppe f\xC3\xBCr \xC3\x9C");
    EXPECT_STREQ(group.attribute("description").value(), "5 \xE2\x82\xAC \xE2\x80\x9Ez\xE2\x80\x9C");
    EXPECT_EQ(ConfigDocument::XML_GetChildNodeValue(ConfigDocument::Finde_XML_MessageByName("a", group),
                                                    "left", ""),
              "\xF0\x9F\x8E\xB9 & \xC3\xA4");
    // A second save of the same document writes the same bytes.
    doc.root().append_attribute("x") = "1";
    doc.root().remove_attribute("x");
    ASSERT_TRUE(doc.save().ok());
    EXPECT_EQ(readFile(tmp / "l.xml"), expected);

    // Where XML has no references (names, comments), such a character is
    // refused, not written as "?", and the file stays as it was.
    struct Case {
        const char* what;
        void (*edit)(pugi::xml_node root);
    };
    const Case refused[] = {
        {"element name", [](pugi::xml_node r) { r.append_child("\xE2\x82\xAC"); }},
        {"attribute name", [](pugi::xml_node r) { r.append_attribute("\xE2\x82\xAC") = "1"; }},
        {"comment", [](pugi::xml_node r) { r.append_child(pugi::node_comment).set_value("\xE2\x82\xAC"); }},
        {"CDATA", [](pugi::xml_node r) { r.append_child(pugi::node_cdata).set_value("\xE2\x82\xAC"); }},
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(doc.reload().ok());
        c.edit(doc.root());
        const DocumentStatus st = doc.save();
        EXPECT_EQ(st.code, Code::Unrepresentable);
        EXPECT_NE(st.message("en").find("\xE2\x82\xAC"), std::string::npos);
        EXPECT_EQ(readFile(tmp / "l.xml"), expected);
    }
}

TEST(ConfigDocumentFile, Utf16FileKeepsItsEncoding) {
    TempFolder tmp;
    auto utf16le = [](std::string_view ascii) {
        std::string out = "\xFF\xFE";
        for (char c : ascii) out += {c, '\0'};
        return out;
    };
    writeFile(tmp / "w.xml", utf16le("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<lib><sets/></lib>\n"));
    ConfigDocument doc;
    ASSERT_TRUE(doc.load(tmp / "w.xml").ok());
    appendElementIndented(doc.sets(), "set").append_attribute("name") = "x";
    ASSERT_TRUE(doc.saveAndReload().ok());
    EXPECT_EQ(readFile(tmp / "w.xml"),
              utf16le("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<lib><sets>\n  <set name=\"x\"/>\n</sets>"
                      "</lib>\n"));
    EXPECT_EQ(doc.setNames(), std::vector<std::string>{"x"});
}

TEST(ConfigDocumentFile, RefusesWhatItCannotReadFaithfully) {
    struct Case {
        std::string content;
        Code code;
        std::string inMessage;
    };
    const Case cases[] = {
        {"<?xml version=\"1.0\" encoding=\"windows-1252\"?><lib/>", Code::UnsupportedEncoding,
         "windows-1252"},
        {"<?xml version='1.0' encoding='Shift_JIS'?><lib/>", Code::UnsupportedEncoding, "shift_jis"},
        {"<lib>\n  <sets>\n</lib>", Code::ParseError, "Zeile 3, Spalte"},
        {"<lib><a></b></lib>", Code::ParseError, "Zeile 1"},
        {"<!-- only a comment -->", Code::NoRootElement, "Wurzelelement"},
        {"", Code::NoRootElement, "Wurzelelement"},
        {"\xFF\xFE<\0l\0", Code::ParseError, "UTF-16"},
        // The parser would end the text at a reference to code 0, and the
        // next save would lose the rest of it.
        {"<lib><sets><set name=\"a&#0;b\"/></sets></lib>", Code::ParseError,
         "Zeichenreferenz auf einen Code, der kein Zeichen ist (0,"},
        {"<lib>\n  <x>a&#x00;b</x>\n</lib>", Code::ParseError, "Zeile 2"},
        // A reference to a surrogate or beyond the last code point becomes
        // bytes that are no UTF-8; saved, the file could not be read again.
        {"<lib><x>a&#xD800;b</x></lib>", Code::ParseError, "Zeichenreferenz"},
        {"<lib><x a=\"&#1114112;\"/></lib>", Code::ParseError, "Zeichenreferenz"},
        {"<lib><x>&#xFFFFFFFFFFFFFFFFF;</x></lib>", Code::ParseError, "Zeichenreferenz"},
        // Bytes that are no UTF-8 would reach the lists as replacement
        // characters, and a name picked there would never match the file
        // again: "für" written by an ISO-8859-1 editor without declaring it,
        // an overlong "/", an encoded surrogate, a cut-off sequence.
        {"<lib>\n<messagegroup name=\"f\xFCr\"/></lib>", Code::ParseError, "UTF-8"},
        {"<?xml version=\"1.0\" encoding=\"UTF-8\"?><lib>\xC0\xAF</lib>", Code::ParseError, "UTF-8"},
        {"<lib>\xED\xA0\x80</lib>", Code::ParseError, "UTF-8"},
        {"\xEF\xBB\xBF<lib>\xE2\x82</lib>", Code::ParseError, "Spalte 6"},
    };
    for (const auto& c : cases) {
        TempFolder tmp;
        writeFile(tmp / "bad.xml", c.content);
        writeFile(tmp / "good.xml", "<lib><sets><set name=\"kept\"/></sets></lib>");
        ConfigDocument doc;
        ASSERT_TRUE(doc.load(tmp / "good.xml").ok());
        const DocumentStatus st = doc.load(tmp / "bad.xml");
        EXPECT_EQ(st.code, c.code) << c.content;
        const std::string msg = st.message("de");
        EXPECT_NE(msg.find((tmp / "bad.xml").string()), std::string::npos) << msg;
        EXPECT_NE(msg.find(c.inMessage), std::string::npos) << msg;
        // The document that was loaded stays loaded and bound to its file.
        EXPECT_EQ(doc.setNames(), std::vector<std::string>{"kept"});
        EXPECT_EQ(doc.fileName(), tmp / "good.xml");
        EXPECT_EQ(readFile(tmp / "bad.xml"), c.content);
    }
}

TEST(ConfigDocumentFile, NothingButMarkupAndWhitespaceMayStandOutsideTheRoot) {
    // The parser skips such things without a word; saved, the file would
    // lose them, and a declaration that is not at the start is not seen, so
    // an ISO-8859-1 file would be read and written as UTF-8 under its old
    // declaration.
    struct Case {
        std::string content;
        int line;
        int column;
        std::string inMessage;
    };
    const Case refused[] = {
        {"A<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<lib/>\n", 1, 1, "text outside the root element"},
        {"x<lib/>", 1, 1, "text outside the root element"},
        {"<lib/>\n\n  x\n", 3, 3, "text outside the root element"},
        {"<?xml version=\"1.0\"?>\n<lib/>\n<!-- c -->\n&amp;", 4, 1, "text outside the root element"},
        {"<lib/><![CDATA[x]]>", 1, 7, "text outside the root element"},
        {" <?xml version=\"1.0\"?><lib/>", 1, 2, "declaration is not at the very start"},
        {"\xEF\xBB\xBF\n<?xml version=\"1.0\"?><lib/>", 2, 1, "declaration is not at the very start"},
        {"<!-- c --><?xml version=\"1.0\"?><lib/>", 1, 11, "declaration is not at the very start"},
        {"<lib/>\n<lib/>", 2, 1, "second root element"},
        // The declaration takes no references; a character made by one would
        // stand in a place that a Latin-1 file can never write back.
        {"<?xml version=\"1&#8364;0\" encoding=\"ISO-8859-1\"?><lib/>", 1, 16, "XML declaration"},
        {"<?xml version=\"1.0\" mood=\"calm\"?><lib/>", 1, 21, "XML declaration"},
        {"<?xml version=\"1.0\" encoding=\"UTF-8\" encoding=\"UTF-8\"?><lib/>", 1, 38, "XML declaration"},
        {"<?xml version=\"1.0\" standalone=\"maybe\"?><lib/>", 1, 33, "XML declaration"},
        {"<?xml encoding=\"UTF-8\" version=\"1.0\"?><lib/>", 1, 7, "XML declaration"},
        {"<?xml version=\"1.0\" standalone=\"no\" encoding=\"UTF-8\"?><lib/>", 1, 37, "XML declaration"},
        {"<lib/><!DOCTYPE lib>", 1, 7, "document type declaration"},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.content);
        TempFolder tmp;
        writeFile(tmp / "bad.xml", c.content);
        ConfigDocument doc;
        const DocumentStatus st = doc.load(tmp / "bad.xml");
        EXPECT_EQ(st.code, Code::ParseError);
        EXPECT_EQ(st.line, c.line);
        EXPECT_EQ(st.column, c.column);
        EXPECT_NE(st.message("en").find(c.inMessage), std::string::npos) << st.message("en");
        EXPECT_NE(st.message("de"), st.message("en"));
        EXPECT_FALSE(doc.isLoaded());
        EXPECT_EQ(readFile(tmp / "bad.xml"), c.content);
    }

    const std::string accepted[] = {
        "\xEF\xBB\xBF<?xml version=\"1.0\"?>\n<!DOCTYPE lib>\n<!-- c -->\n<lib/>\n<!-- after -->\n<?pi x?>\n",
        "\n\n  <lib/>",
        "\xEF\xBB\xBF  <lib/>\r\n",
        "<?xml version=\"1.0\"?><?pi?><!--c--><!DOCTYPE lib [<!ENTITY x \"y\">]><!--d--><lib>t</lib>",
        "<?xml version=\"1.1\" encoding=\"latin1\" standalone=\"no\"?>\n<lib/>",
    };
    for (const std::string& content : accepted) {
        SCOPED_TRACE(content);
        TempFolder tmp;
        writeFile(tmp / "ok.xml", content);
        ConfigDocument doc;
        ASSERT_TRUE(doc.load(tmp / "ok.xml").ok()) << doc.load(tmp / "ok.xml").message("en");
        doc.root().append_attribute("changed") = "1";
        ASSERT_TRUE(doc.save().ok());
        doc.root().remove_attribute("changed");
        ASSERT_TRUE(doc.save().ok());
        EXPECT_EQ(readFile(tmp / "ok.xml"), content);
    }
}

TEST(ConfigDocumentFile, OnlyRegularFilesAreRead) {
    // A pipe, a device or a folder at the document's path: reading a pipe
    // would wait for a writer for ever, a device may never end.
    TempFolder tmp;
    ASSERT_EQ(::mkfifo((tmp / "pipe.xml").c_str(), 0600), 0);
    std::filesystem::create_directory(tmp / "folder.xml");
    // Someone writes a whole document into the pipe, so that a loader that
    // opens it as a file would even succeed rather than hang. The loader
    // that refuses the pipe may close it before the writer writes: the write
    // then fails, which must not end the test by SIGPIPE.
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &previous);
    std::thread writer([&] {
        const int fd = ::open((tmp / "pipe.xml").c_str(), O_WRONLY | O_CLOEXEC);
        if (fd < 0) return;
        const std::string_view xml = "<lib><sets><set name=\"piped\"/></sets></lib>";
        [[maybe_unused]] const ssize_t written = ::write(fd, xml.data(), xml.size());
        ::close(fd);
    });
    const std::filesystem::path paths[] = {tmp / "pipe.xml", "/dev/null", tmp / "folder.xml"};
    std::vector<DocumentStatus> results;
    for (const auto& path : paths) {
        ConfigDocument doc;
        results.push_back(doc.load(path));
        EXPECT_FALSE(doc.isLoaded()) << path;
    }
    // Lets the writer go whatever the loader did.
    const int release = ::open((tmp / "pipe.xml").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    writer.join();
    if (release >= 0) ::close(release);
    ::sigaction(SIGPIPE, &previous, nullptr);

    for (std::size_t i = 0; i < results.size(); ++i) {
        SCOPED_TRACE(paths[i]);
        EXPECT_EQ(results[i].code, Code::OpenFailed);
        EXPECT_NE(results[i].message("en").find(paths[i].string()), std::string::npos)
            << results[i].message("en");
        EXPECT_NE(results[i].message("en").find("not a regular file"), std::string::npos)
            << results[i].message("en");
        EXPECT_NE(results[i].message("de").find("keine gew\xC3\xB6hnliche Datei"), std::string::npos)
            << results[i].message("de");
    }

    // Nor is anything but a regular file replaced by a save.
    writeFile(tmp / "d.xml", "<lib/>");
    ConfigDocument doc;
    ASSERT_TRUE(doc.load(tmp / "d.xml").ok());
    std::filesystem::remove(tmp / "d.xml");
    ASSERT_EQ(::mkfifo((tmp / "d.xml").c_str(), 0600), 0);
    EXPECT_EQ(doc.save().code, Code::WriteFailed);
    EXPECT_TRUE(std::filesystem::is_fifo(tmp / "d.xml"));
}

TEST(ConfigDocumentFile, OversizedFileIsRefusedUnread) {
    TempFolder tmp;
    writeFile(tmp / "good.xml", "<lib><sets><set name=\"kept\"/></sets></lib>");
    ConfigDocument doc;
    ASSERT_TRUE(doc.load(tmp / "good.xml").ok());
    // Sparse: the size costs no disk space, and reading it would cost all
    // the memory of a smaller machine.
    writeFile(tmp / "huge.xml", "<lib>");
    std::filesystem::resize_file(tmp / "huge.xml", detail::kMaxReadBytes + 1);
    const DocumentStatus st = doc.load(tmp / "huge.xml");
    EXPECT_EQ(st.code, Code::OpenFailed);
    EXPECT_NE(st.message("en").find(std::strerror(EFBIG)), std::string::npos) << st.message("en");
    EXPECT_EQ(doc.setNames(), std::vector<std::string>{"kept"});
    EXPECT_EQ(doc.fileName(), tmp / "good.xml");
}

TEST(ConfigDocumentFile, DamagedFilesAreRefusedOrKeptButNeverCrash) {
    // Cuts and byte flips of a real library: whatever the loader makes of
    // them, it answers with a status, and what it accepts saves again.
    const std::string library = kLibrary;
    std::mt19937 rng(7);
    TempFolder tmp;
    for (int round = 0; round < 300; ++round) {
        std::string damaged =
            library.substr(0, std::uniform_int_distribution<std::size_t>(0, library.size())(rng));
        for (int flips = std::uniform_int_distribution<int>(0, 3)(rng); flips > 0 && !damaged.empty();
             --flips) {
            damaged[std::uniform_int_distribution<std::size_t>(0, damaged.size() - 1)(rng)] =
                static_cast<char>(std::uniform_int_distribution<int>(0, 255)(rng));
        }
        writeFile(tmp / "x.xml", damaged);
        ConfigDocument doc;
        const DocumentStatus st = doc.load(tmp / "x.xml");
        EXPECT_FALSE(st.message("de").empty() && !st.ok());
        if (st.ok()) {
            const DocumentStatus saved = doc.save();
            EXPECT_TRUE(saved.ok() || saved.code == Code::CustomEntity) << saved.message("en");
            if (saved.ok()) {
                EXPECT_TRUE(doc.reload().ok());
            }
        }
    }
}

TEST(ConfigDocumentFile, ParseErrorPointsAtLineAndColumn) {
    TempFolder tmp;
    writeFile(tmp / "bad.xml", "<lib>\n  <sets>\n    <set name=\"x\">\n  </sets>\n</lib>\n");
    ConfigDocument doc;
    const DocumentStatus st = doc.load(tmp / "bad.xml");
    ASSERT_EQ(st.code, Code::ParseError);
    EXPECT_EQ(st.line, 4);
    EXPECT_EQ(st.column, 5);
    EXPECT_EQ(st.message("en"),
              "The file " + (tmp / "bad.xml").string() +
                  " is not valid XML: end tag does not match start tag (line 4, column 5, offset " +
                  std::to_string(st.offset) + ")");
    EXPECT_FALSE(doc.isLoaded());
    EXPECT_EQ(doc.save().code, Code::NotLoaded);
    EXPECT_EQ(doc.load(tmp / "missing.xml").code, Code::OpenFailed);
}

TEST(ConfigDocumentFile, OwnEntitiesBlockSavingButLookalikesDoNot) {
    struct Case {
        std::string content;
        bool saves;
    };
    const Case cases[] = {
        {"<!DOCTYPE lib [<!ENTITY co \"Vandrell\">]><lib><sets><set name=\"&co;\"/></sets></lib>", false},
        {"<!DOCTYPE lib [<!ENTITY co \"V\">]><lib>&co;</lib>", false},
        {"<lib><sets><set name=\"a &amp;co; b\"/></sets></lib>", true},
        {"<lib><!-- &co; --><![CDATA[&co;]]><x>&#38;&lt;&#x41;</x></lib>", true},
        {"<!DOCTYPE lib [<!ENTITY co \"unused\">]><lib/>", true},
        {"<lib><!-- &#0; --><![CDATA[&#0;]]><x a=\"&#x30;\">&#10;&amp;#0;</x></lib>", true},
        {"<lib><x a=\"&#xD7FF;&#xE000;\">&#x10FFFF;&#1114111;&#55295;</x></lib>", true},
    };
    for (const auto& c : cases) {
        TempFolder tmp;
        writeFile(tmp / "e.xml", c.content);
        ConfigDocument doc;
        ASSERT_TRUE(doc.load(tmp / "e.xml").ok()) << c.content;
        doc.root().append_attribute("changed") = "1";
        const DocumentStatus st = doc.save();
        EXPECT_EQ(st.ok(), c.saves) << c.content;
        if (!c.saves) {
            EXPECT_EQ(st.code, Code::CustomEntity);
            EXPECT_NE(st.message("en").find("&co;"), std::string::npos);
            EXPECT_EQ(readFile(tmp / "e.xml"), c.content);
        }
    }
}

TEST(ConfigDocumentFile, FailedSaveLeavesTheOldFileAlone) {
    TempFolder tmp;
    writeFile(tmp / "d.xml", kLibrary);
    ConfigDocument doc;
    ASSERT_TRUE(doc.load(tmp / "d.xml").ok());
    doc.Finde_XML_SetByName("S").attribute("name") = "Renamed";

    // A disk that fills up in the middle of writing: the file size limit makes
    // the write fail for root as for anyone.
    {
        const DocumentStatus st = [&] {
            korvane::test::FileSizeLimit full(64);
            return doc.save();
        }();
        EXPECT_EQ(st.code, Code::WriteFailed);
        EXPECT_NE(st.message("de").find("Die bisherige Datei bleibt unverändert"), std::string::npos);
        EXPECT_EQ(readFile(tmp / "d.xml"), kLibrary);
    }
    // The change is still in memory, and a later save succeeds.
    EXPECT_TRUE(doc.Finde_XML_SetByName("Renamed"));

    // No temporary file is left behind by the failed attempt.
    int entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(tmp.path())) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 1);

    // The target replaced by a folder is not removed or filled.
    std::filesystem::rename(tmp / "d.xml", tmp / "moved.xml");
    std::filesystem::create_directory(tmp / "d.xml");
    EXPECT_EQ(doc.save().code, Code::WriteFailed);
    EXPECT_TRUE(std::filesystem::is_directory(tmp / "d.xml"));
    EXPECT_TRUE(std::filesystem::is_empty(tmp / "d.xml"));

    // The folder gone altogether.
    std::filesystem::remove_all(tmp.path());
    EXPECT_EQ(doc.save().code, Code::WriteFailed);
}

// A file name near the system's limit of 255 bytes leaves no room for a
// longer temporary name beside it; saving must still work.
TEST(ConfigDocumentFile, FileWithALongNameSaves) {
    TempFolder tmp;
    const std::string name = std::string(251, 'k') + ".xml";
    writeFile(tmp / name, "<lib/>");
    ConfigDocument doc;
    ASSERT_TRUE(doc.load(tmp / name).ok());
    doc.root().append_attribute("x") = "1";
    const DocumentStatus st = doc.save();
    EXPECT_TRUE(st.ok()) << st.message("en");
    EXPECT_EQ(readFile(tmp / name), "<lib x=\"1\"/>");
}

TEST(ConfigDocumentFile, ReadOnlyFileIsNotReplaced) {
    if (::geteuid() == 0) GTEST_SKIP() << "root may write any file";
    TempFolder tmp;
    writeFile(tmp / "d.xml", kLibrary);
    ConfigDocument doc;
    ASSERT_TRUE(doc.load(tmp / "d.xml").ok());
    std::filesystem::permissions(tmp / "d.xml", std::filesystem::perms::owner_read);
    doc.root().append_attribute("x") = "1";
    EXPECT_EQ(doc.save().code, Code::WriteFailed);
    EXPECT_EQ(readFile(tmp / "d.xml"), kLibrary);
}

TEST(ConfigDocumentFile, SaveThroughALinkReplacesTheLinkedFile) {
    TempFolder tmp;
    std::filesystem::create_directory(tmp / "real");
    writeFile(tmp / "real" / "d.xml", "<lib/>");
    std::filesystem::create_symlink(tmp / "real" / "d.xml", tmp / "link.xml");
    ConfigDocument doc;
    ASSERT_TRUE(doc.load(tmp / "link.xml").ok());
    doc.root().append_attribute("x") = "1";
    ASSERT_TRUE(doc.save().ok());
    EXPECT_TRUE(std::filesystem::is_symlink(tmp / "link.xml"));
    EXPECT_EQ(readFile(tmp / "real" / "d.xml"), "<lib x=\"1\"/>");
}

// A link whose file is gone (a drive not mounted, a folder moved) stays a
// link: the save fails instead of putting a plain file in the link's place.
TEST(ConfigDocumentFile, SaveThroughADanglingLinkKeepsTheLink) {
    struct Case {
        std::string what;
        std::filesystem::path linkTo;  // relative to tmp unless absolute
        bool folderGone;
        bool saves;
    };
    TempFolder tmp;
    const Case cases[] = {
        {"absolute link, folder gone", tmp / "real" / "d.xml", true, false},
        {"relative link, folder gone", "real/d.xml", true, false},
        {"absolute link, file gone", tmp / "real" / "d.xml", false, true},
        {"link to a link, folder gone", "link2.xml", true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(tmp / "real");
        std::filesystem::remove(tmp / "link.xml");
        std::filesystem::remove(tmp / "link2.xml");
        std::filesystem::create_directory(tmp / "real");
        writeFile(tmp / "real" / "d.xml", "<lib/>");
        std::filesystem::create_symlink("real/d.xml", tmp / "link2.xml");
        std::filesystem::create_symlink(c.linkTo, tmp / "link.xml");
        ConfigDocument doc;
        ASSERT_TRUE(doc.load(tmp / "link.xml").ok());
        doc.root().append_attribute("x") = "1";
        if (c.folderGone) {
            std::filesystem::remove_all(tmp / "real");
        } else {
            std::filesystem::remove(tmp / "real" / "d.xml");
        }
        const DocumentStatus st = doc.save();
        EXPECT_EQ(st.ok(), c.saves) << st.message("en");
        EXPECT_TRUE(std::filesystem::is_symlink(tmp / "link.xml"));
        if (c.saves) {
            EXPECT_EQ(readFile(tmp / "real" / "d.xml"), "<lib x=\"1\"/>");
        }
    }
}

// The file is the master copy, and another program (a second editor, a text
// editor) may write it between two reads of this one. Saving over such a
// change would throw it away without a word.
TEST(ConfigDocumentFile, ChangeByAnotherProgramIsNotOverwritten) {
    struct Case {
        std::string what;
        std::function<void(const std::filesystem::path&)> meanwhile;
        bool saves;
    };
    const Case cases[] = {
        {"nothing happened", [](const std::filesystem::path&) {}, true},
        {"rewritten with other contents",
         [](const std::filesystem::path& f) {
             writeFile(f, "<lib><sets><set name=\"theirs\"/></sets></lib>");
         },
         false},
        {"replaced by a new file with other contents",
         [](const std::filesystem::path& f) {
             writeFile(f.string() + ".new", "<lib other=\"1\"/>");
             std::filesystem::rename(f.string() + ".new", f);
         },
         false},
        {"rewritten with the same contents",
         [](const std::filesystem::path& f) {
             const std::string same = readFile(f);
             std::filesystem::remove(f);
             writeFile(f, same);
         },
         true},
        {"deleted", [](const std::filesystem::path& f) { std::filesystem::remove(f); }, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder tmp;
        writeFile(tmp / "d.xml", kLibrary);
        ConfigDocument doc;
        ASSERT_TRUE(doc.load(tmp / "d.xml").ok());
        // A save of its own and a reload are no reason to refuse later.
        ASSERT_TRUE(doc.saveAndReload().ok());
        doc.Finde_XML_SetByName("S").attribute("name") = "Mine";
        ASSERT_TRUE(doc.save().ok());
        c.meanwhile(tmp / "d.xml");
        const std::string before = std::filesystem::exists(tmp / "d.xml") ? readFile(tmp / "d.xml") : "";

        doc.Finde_XML_SetByName("s").attribute("name") = "Mine too";
        const DocumentStatus st = doc.save();
        if (c.saves) {
            EXPECT_TRUE(st.ok()) << st.message("en");
            ASSERT_TRUE(doc.reload().ok());
            EXPECT_EQ(doc.setNames(), (std::vector<std::string>{"Mine", "S", "Mine too"}));
            continue;
        }
        EXPECT_EQ(st.code, Code::ChangedOnDisk);
        EXPECT_NE(st.message("de").find((tmp / "d.xml").string()), std::string::npos) << st.message("de");
        EXPECT_EQ(readFile(tmp / "d.xml"), before);
        // Once the document has read the file again, saving works again.
        ASSERT_TRUE(doc.reload().ok());
        doc.root().append_attribute("after") = "1";
        EXPECT_TRUE(doc.save().ok());
    }
}

TEST(ConfigDocumentFile, ReloadDiscardsUnsavedChanges) {
    TempFolder tmp;
    writeFile(tmp / "d.xml", kLibrary);
    ConfigDocument doc;
    ASSERT_TRUE(doc.load(tmp / "d.xml").ok());
    removeElementIndented(doc.sets());
    EXPECT_TRUE(doc.setNames().empty());
    ASSERT_TRUE(doc.reload().ok());
    EXPECT_EQ(doc.setNames().size(), 3u);
    ConfigDocument never;
    EXPECT_EQ(never.reload().code, Code::NotLoaded);
}

}  // namespace
}  // namespace korvane
