// Saving through the writer thread: an edit names what it changed, only that
// entry is written anew and read back, and the file must come out byte for
// byte as saving the whole document and reading it back gives. The document
// stays in step with its file without reading it, until another program
// changes the file.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "config_document.h"
#include "temp_folder.h"

namespace korvane {
namespace {

using testing::readFile;
using testing::TempFolder;
using testing::writeFile;
using Code = DocumentStatus::Code;

// Hand-made layouts the writer must keep: an empty configuration written with
// an end tag, a comment between entries, CRLF line breaks, tabs, an element
// left empty, a description with a line break reference.
const char* const kLayouts[] = {
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<korvane>\n  <sets>\n    <set name=\"A\"></set>\n"
    "    <!-- mine -->\n    <set name=\"B\" description=\"x&#10;y\">\n      <element name=\"Fader 1\">\n"
    "        <group>G</group>\n        <name>M1</name>\n      </element>\n    </set>\n  </sets>\n"
    "  <messagegroups>\n    <messagegroup name=\"G\">\n      <message name=\"M1\"><left>B0,07,7F</left>"
    "<right></right><mode>7</mode></message>\n      <message name=\"M2\"><left/></message>\n"
    "    </messagegroup>\n  </messagegroups>\n</korvane>\n",
    "<korvane>\r\n\t<sets>\r\n\t\t<set name=\"A\"/>\r\n\t\t<set name=\"B\">\r\n\t\t</set>\r\n\t</sets>\r\n"
    "\t<messagegroups><messagegroup name=\"G\"><message name=\"M1\"/><message name=\"M2\">"
    "<left>90</left></message></messagegroup></messagegroups>\r\n</korvane>",
    "\xEF\xBB\xBF<korvane><sets><set name=\"A\"/><set name=\"B\"/></sets><messagegroups>"
    "<messagegroup name=\"G\"><message name=\"M1\"/><message name=\"M2\"/></messagegroup>"
    "</messagegroups></korvane>",
};

// One edit as the window makes it: it changes the document and returns the
// nodes it changed.
using Edit = std::function<std::vector<pugi::xml_node>(ConfigDocument&)>;

std::vector<pugi::xml_node> assign(ConfigDocument& doc, const char* set, const char* element,
                                   const char* message) {
    pugi::xml_node s = doc.Finde_XML_SetByName(set);
    pugi::xml_node e = ConfigDocument::Finde_XML_Element(element, s);
    if (!e) {
        e = appendElementIndented(s, "element");
        e.append_attribute("name") = element;
    }
    setChildText(e, "group", "G");
    setChildText(e, "name", message);
    return {s};
}

const std::vector<Edit> kEdits = {
    [](ConfigDocument& d) { return assign(d, "A", "Fader 1", "M1"); },
    [](ConfigDocument& d) { return assign(d, "A", "Fader 2", "M2"); },
    [](ConfigDocument& d) { return assign(d, "A", "Fader 1", "M2"); },
    [](ConfigDocument& d) { return assign(d, "B", "Knopf 3", "M1"); },
    [](ConfigDocument& d) {
        pugi::xml_node s = d.Finde_XML_SetByName("A");
        removeElementIndented(ConfigDocument::Finde_XML_Element("Fader 1", s));
        return std::vector<pugi::xml_node>{s};
    },
    [](ConfigDocument& d) {
        pugi::xml_node s = d.Finde_XML_SetByName("B");
        pugi::xml_attribute a = s.attribute("description");
        if (!a) a = s.append_attribute("description");
        a.set_value("line\nnext <&> \"q\"");
        return std::vector<pugi::xml_node>{s};
    },
    [](ConfigDocument& d) {
        pugi::xml_node m = ConfigDocument::Finde_XML_MessageByName("M2", d.Finde_XML_MessageGroupByName("G"));
        setChildText(m, "left", "B0,0A,40");
        setChildText(m, "mode", "7");
        return std::vector<pugi::xml_node>{m};
    },
    [](ConfigDocument& d) {
        pugi::xml_node s = d.Finde_XML_SetByName("A");
        removeElementIndented(ConfigDocument::Finde_XML_Element("Fader 2", s));
        return std::vector<pugi::xml_node>{s};
    },
    [](ConfigDocument& d) { return assign(d, "A", "Fader 2", "M1"); },
};

TEST(DocumentCommit, NamedChangesWriteWhatSaveAndReloadWrites) {
    for (const char* layout : kLayouts) {
        SCOPED_TRACE(layout);
        TempFolder tmp;
        writeFile(tmp / "named.xml", layout);
        writeFile(tmp / "whole.xml", layout);
        ConfigDocument named;
        ConfigDocument whole;
        ASSERT_TRUE(named.load(tmp / "named.xml").ok());
        ASSERT_TRUE(whole.load(tmp / "whole.xml").ok());
        for (std::size_t i = 0; i < kEdits.size(); ++i) {
            SCOPED_TRACE("edit " + std::to_string(i));
            // Entries prepared in idle time, some or all of them, change
            // nothing in what is written.
            named.preparePieces(2);
            const ConfigDocument::Commit c = named.commit(kEdits[i](named), false);
            EXPECT_TRUE(named.preparePieces(0)) << "a save leaves every entry prepared";
            ASSERT_TRUE(c.status.ok()) << c.status.message("en");
            kEdits[i](whole);
            ASSERT_TRUE(whole.saveAndReload().ok());
            named.waitForWrites();
            ASSERT_EQ(readFile(tmp / "named.xml"), readFile(tmp / "whole.xml"));
            EXPECT_EQ(c.after->joined(), readFile(tmp / "whole.xml"));
        }
    }
}

TEST(DocumentCommit, BeforeAndAfterChainWithoutWaitingForTheDisk) {
    TempFolder tmp;
    writeFile(tmp / "d.xml", kLayouts[0]);
    ConfigDocument doc;
    ASSERT_TRUE(doc.load(tmp / "d.xml").ok());
    SharedBytes last;
    for (std::size_t i = 0; i < 4; ++i) {
        const ConfigDocument::Commit c = doc.commit(kEdits[i](doc), false);
        ASSERT_TRUE(c.status.ok());
        // Each save starts from what the one before it will leave on disk.
        EXPECT_EQ(c.before->joined(), i == 0 ? std::string(kLayouts[0]) : last->joined());
        last = c.after;
    }
    doc.waitForWrites();
    EXPECT_EQ(readFile(tmp / "d.xml"), last->joined());
}

TEST(DocumentCommit, RefreshReadsTheFileOnlyWhenItIsNotInStep) {
    TempFolder tmp;
    writeFile(tmp / "d.xml", kLayouts[0]);
    ConfigDocument doc;
    ASSERT_TRUE(doc.load(tmp / "d.xml").ok());
    ASSERT_TRUE(doc.commit(kEdits[0](doc), true).status.ok());
    // In step: the nodes found before stay the document's own.
    const pugi::xml_node a = doc.Finde_XML_SetByName("A");
    ASSERT_TRUE(doc.refresh().ok());
    EXPECT_EQ(doc.Finde_XML_SetByName("A"), a);

    // Another program replaces the file: refresh reads it.
    writeFile(tmp / "other.xml", "<korvane><sets><set name=\"Theirs\"/></sets></korvane>");
    std::filesystem::rename(tmp / "other.xml", tmp / "d.xml");
    ASSERT_TRUE(doc.refresh().ok());
    EXPECT_EQ(doc.setNames(), std::vector<std::string>{"Theirs"});

    // A refused save leaves memory ahead of the file: refresh drops it.
    doc.Finde_XML_SetByName("Theirs").attribute("name") = "Unsaved";
    std::filesystem::remove(tmp / "d.xml");
    std::filesystem::create_directory(tmp / "d.xml");
    EXPECT_FALSE(doc.commit({doc.Finde_XML_SetByName("Unsaved")}, true).status.ok());
    std::filesystem::remove(tmp / "d.xml");
    writeFile(tmp / "d.xml", "<korvane><sets><set name=\"Back\"/></sets></korvane>");
    ASSERT_TRUE(doc.refresh().ok());
    EXPECT_EQ(doc.setNames(), std::vector<std::string>{"Back"});
}

TEST(DocumentCommit, ABackgroundSaveOverAnotherProgramsFileIsReportedOnce) {
    TempFolder tmp;
    writeFile(tmp / "d.xml", kLayouts[0]);
    ConfigDocument doc;
    ASSERT_TRUE(doc.load(tmp / "d.xml").ok());
    int notices = 0;
    doc.setWriteFailureNotice([&notices] { ++notices; });
    const std::string theirs = "<korvane other=\"1\"/>";
    writeFile(tmp / "d.xml", theirs);
    ASSERT_TRUE(doc.commit(kEdits[0](doc), false).status.ok());
    ASSERT_TRUE(doc.commit(kEdits[1](doc), false).status.ok());
    doc.waitForWrites();
    EXPECT_EQ(readFile(tmp / "d.xml"), theirs);
    const std::vector<DocumentStatus> failed = doc.takeWriteFailures();
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0].code, Code::ChangedOnDisk);
    EXPECT_EQ(failed[0].fileName, tmp / "d.xml");
    EXPECT_EQ(notices, 1);
    // Their file wins at the next refresh; saving works again after it.
    ASSERT_TRUE(doc.refresh().ok());
    EXPECT_TRUE(doc.setNames().empty());
    doc.root().append_attribute("mine") = "2";
    EXPECT_TRUE(doc.commit({}, true).status.ok());
    EXPECT_EQ(readFile(tmp / "d.xml"), "<korvane other=\"1\" mine=\"2\"/>");
}

}  // namespace
}  // namespace korvane
