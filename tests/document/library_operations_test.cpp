#include "library_operations.h"

#include <gtest/gtest.h>

#include <functional>

#include "file_size_limit.h"
#include "temp_folder.h"

namespace korvane {
namespace {

using testing::readFile;
using testing::TempFolder;
using testing::writeFile;
using Result = LibraryOutcome::Result;

// Group G and group H both hold a message M, so every rewrite of references
// has a same-named neighbour it must leave alone.
const std::string kLibrary = R"(<?xml version="1.0" encoding="UTF-8"?>
<lib>
  <!-- kept -->
  <sets>
    <set name="A" description="d">
      <element name="Fader 1"><group>G</group><name>M</name></element>
      <element name="Taste 1"><group>H</group><name>M</name></element>
    </set>
    <set name="B">
      <element name="Fader 2"><group>G</group><name>N</name></element>
    </set>
  </sets>
  <messagegroups>
    <messagegroup name="G">
      <message name="M"><left>B0,07,F1</left></message>
      <message name="N"/>
    </messagegroup>
    <messagegroup name="H">
      <message name="M"/>
    </messagegroup>
  </messagegroups>
</lib>
)";

// kLibrary with each (from, to) replaced once, in order; a from that is not
// found fails the test, so a mistyped expectation cannot pass silently.
std::string edited(std::initializer_list<std::pair<std::string, std::string>> edits) {
    std::string s = kLibrary;
    for (const auto& [from, to] : edits) {
        const auto at = s.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        if (at != std::string::npos) s.replace(at, from.size(), to);
    }
    return s;
}

class Library : public ::testing::Test {
protected:
    void SetUp() override {
        writeFile(file(), kLibrary);
        ASSERT_TRUE(doc.load(file()).ok());
    }
    std::filesystem::path file() const { return tmp / "lib.xml"; }

    TempFolder tmp;
    ConfigDocument doc;
};

using Operation = std::function<LibraryOutcome(ConfigDocument&)>;

TEST_F(Library, EachOperationWritesItsChangeAndNothingElse) {
    const std::string copyOfA = R"(    <set name="A2" description="d">
      <element name="Fader 1"><group>G</group><name>M</name></element>
      <element name="Taste 1"><group>H</group><name>M</name></element>
    </set>
)";
    struct Row {
        const char* what;
        Operation op;
        std::string expected;
    };
    const Row rows[] = {
        {"new configuration is appended", [](auto& d) { return newConfiguration(d, "C"); },
         edited({{"    </set>\n  </sets>", "    </set>\n    <set name=\"C\"/>\n  </sets>"}})},
        {"duplicate copies description and assignments",
         [](auto& d) { return duplicateConfiguration(d, "A", "A2"); },
         edited({{"    </set>\n  </sets>", "    </set>\n" + copyOfA + "  </sets>"}})},
        {"rename configuration", [](auto& d) { return renameConfiguration(d, "A", "Z"); },
         edited({{"<set name=\"A\"", "<set name=\"Z\""}})},
        {"delete configuration", [](auto& d) { return deleteConfiguration(d, "B"); },
         edited({{"\n    <set name=\"B\">\n      <element name=\"Fader "
                  "2\"><group>G</group><name>N</name></element>\n"
                  "    </set>",
                  ""}})},
        {"new group, same name in other case", [](auto& d) { return newGroup(d, "g"); },
         edited({{"    </messagegroup>\n  </messagegroups>",
                  "    </messagegroup>\n    <messagegroup name=\"g\"/>\n  </messagegroups>"}})},
        {"duplicate group leaves the references", [](auto& d) { return duplicateGroup(d, "H", "H2"); },
         edited({{"    </messagegroup>\n  </messagegroups>",
                  "    </messagegroup>\n    <messagegroup name=\"H2\">\n      <message name=\"M\"/>\n"
                  "    </messagegroup>\n  </messagegroups>"}})},
        {"rename group: its references follow, H's stay", [](auto& d) { return renameGroup(d, "G", "X"); },
         edited({{"<group>G</group><name>M", "<group>X</group><name>M"},
                 {"<group>G</group><name>N", "<group>X</group><name>N"},
                 {"<messagegroup name=\"G\">", "<messagegroup name=\"X\">"}})},
        {"delete group", [](auto& d) { return deleteGroup(d, "H"); },
         edited({{"\n    <messagegroup name=\"H\">\n      <message name=\"M\"/>\n    </messagegroup>", ""}})},
        {"new message in its group", [](auto& d) { return newMessage(d, "H", "P"); },
         edited({{"<message name=\"M\"/>\n", "<message name=\"M\"/>\n      <message name=\"P\"/>\n"}})},
        {"duplicate message copies its contents", [](auto& d) { return duplicateMessage(d, "G", "M", "M2"); },
         edited({{"<message name=\"N\"/>\n",
                  "<message name=\"N\"/>\n      <message name=\"M2\"><left>B0,07,F1</left></message>\n"}})},
        {"rename message: (G,M) follows, (H,M) stays",
         [](auto& d) { return renameMessage(d, "G", "M", "Q"); },
         edited({{"<group>G</group><name>M", "<group>G</group><name>Q"},
                 {"<message name=\"M\"><left>", "<message name=\"Q\"><left>"}})},
        {"delete message", [](auto& d) { return deleteMessage(d, "G", "N"); },
         edited({{"\n      <message name=\"N\"/>", ""}})},
        {"move message: elements follow it", [](auto& d) { return moveMessage(d, "G", "N", "H"); },
         edited({{"<group>G</group><name>N", "<group>H</group><name>N"},
                 {"\n      <message name=\"N\"/>", ""},
                 {"<message name=\"M\"/>\n", "<message name=\"M\"/>\n      <message name=\"N\"/>\n"}})},
        {"move into its own group puts it last", [](auto& d) { return moveMessage(d, "G", "M", "G"); },
         edited({{"      <message name=\"M\"><left>B0,07,F1</left></message>\n", ""},
                 {"<message name=\"N\"/>\n",
                  "<message name=\"N\"/>\n      <message name=\"M\"><left>B0,07,F1</left></message>\n"}})},
        {"copy message", [](auto& d) { return copyMessage(d, "G", "N", "H"); },
         edited({{"<message name=\"M\"/>\n", "<message name=\"M\"/>\n      <message name=\"N\"/>\n"}})},
    };
    for (const auto& r : rows) {
        writeFile(file(), kLibrary);
        ASSERT_TRUE(doc.load(file()).ok());
        const LibraryOutcome o = r.op(doc);
        EXPECT_EQ(o.result, Result::Changed) << r.what << ": " << o.problem("en");
        EXPECT_EQ(readFile(file()), r.expected) << r.what;
        // The history gets the file as it was and as it is now.
        EXPECT_EQ(o.before.value_or(""), kLibrary) << r.what;
        EXPECT_EQ(o.after.value_or(""), r.expected) << r.what;
        EXPECT_FALSE(o.label.text("en").empty()) << r.what;
    }
}

TEST_F(Library, RefusalsAndNoOpsLeaveTheFileByteIdentical) {
    struct Row {
        const char* what;
        Operation op;
        Result result;
        const char* reasonKey;
    };
    const Row rows[] = {
        {"empty name", [](auto& d) { return newConfiguration(d, ""); }, Result::Refused,
         "library.name.unusable"},
        {"blank name", [](auto& d) { return newGroup(d, "   "); }, Result::Refused, "library.name.unusable"},
        {"control character", [](auto& d) { return newMessage(d, "G", "a\tb"); }, Result::Refused,
         "library.name.unusable"},
        {"configuration exists", [](auto& d) { return newConfiguration(d, "A"); }, Result::Refused,
         "library.config.exists"},
        {"copy onto a configuration", [](auto& d) { return duplicateConfiguration(d, "A", "B"); },
         Result::Refused, "library.config.exists"},
        {"rename onto a configuration", [](auto& d) { return renameConfiguration(d, "A", "B"); },
         Result::Refused, "library.config.exists"},
        {"delete the default configuration",
         [](auto& d) { return deleteConfiguration(d, kProtectedDefaultName); }, Result::Refused,
         "library.config.delete_default"},
        {"group exists", [](auto& d) { return newGroup(d, "G"); }, Result::Refused, "library.group.exists"},
        {"group named like no assignment", [](auto& d) { return newGroup(d, "keine Zuordnung"); },
         Result::Refused, "library.group.reserved"},
        {"rename group to no assignment", [](auto& d) { return renameGroup(d, "G", "not in use"); },
         Result::Refused, "library.group.reserved"},
        {"copy onto a group", [](auto& d) { return duplicateGroup(d, "G", "H"); }, Result::Refused,
         "library.group.copy_exists"},
        {"rename onto a group", [](auto& d) { return renameGroup(d, "G", "H"); }, Result::Refused,
         "library.group.rename_exists"},
        {"delete the default group", [](auto& d) { return deleteGroup(d, kProtectedDefaultName); },
         Result::Refused, "library.group.delete_default"},
        {"message without group", [](auto& d) { return newMessage(d, "nope", "P"); }, Result::Refused,
         "library.message.no_group"},
        {"message exists", [](auto& d) { return newMessage(d, "G", "M"); }, Result::Refused,
         "library.message.exists"},
        {"copy onto a message", [](auto& d) { return duplicateMessage(d, "G", "M", "N"); }, Result::Refused,
         "library.message.copy_exists"},
        {"rename onto a message", [](auto& d) { return renameMessage(d, "G", "M", "N"); }, Result::Refused,
         "library.message.rename_exists"},
        {"delete from the default group",
         [](auto& d) { return deleteMessage(d, kProtectedDefaultName, "M"); }, Result::Refused,
         "library.message.delete_default"},
        {"move into a group holding the name", [](auto& d) { return moveMessage(d, "G", "M", "H"); },
         Result::Refused, "library.message.move_exists"},
        {"copy into a group holding the name", [](auto& d) { return copyMessage(d, "G", "M", "H"); },
         Result::Refused, "library.message.copy_target_exists"},
        {"copy into its own group", [](auto& d) { return copyMessage(d, "G", "M", "G"); }, Result::Refused,
         "library.message.copy_target_exists"},
        {"rename to the same name", [](auto& d) { return renameGroup(d, "G", "G"); }, Result::Unchanged, ""},
        {"delete an unknown group", [](auto& d) { return deleteGroup(d, "nope"); }, Result::Unchanged, ""},
        {"move into an unknown group", [](auto& d) { return moveMessage(d, "G", "N", "nope"); },
         Result::Unchanged, ""},
        {"move the last message to its own group", [](auto& d) { return moveMessage(d, "G", "N", "G"); },
         Result::Unchanged, ""},
    };
    for (const auto& r : rows) {
        const LibraryOutcome o = r.op(doc);
        EXPECT_EQ(o.result, r.result) << r.what;
        EXPECT_EQ(o.reason.key, r.reasonKey) << r.what;
        EXPECT_EQ(readFile(file()), kLibrary) << r.what;
    }
    EXPECT_EQ(doc.groupNames(), (std::vector<std::string>{"G", "H"}));
    // The box names the clash.
    EXPECT_EQ(renameGroup(doc, "G", "H").problem("en"),
              "There is already a group \"H\". Choose another name; nothing was changed.");
}

TEST_F(Library, ChangeRefusedByTheDiskLeavesTheOtherProgramsFile) {
    const std::string other = edited({{"<set name=\"B\">", "<set name=\"B2\">"}});
    writeFile(file(), other);
    const LibraryOutcome o = newConfiguration(doc, "C");
    EXPECT_EQ(o.result, Result::Failed);
    EXPECT_EQ(o.status.code, DocumentStatus::Code::ChangedOnDisk);
    EXPECT_EQ(readFile(file()), other);
    // The document shows the file as it is, without the refused change.
    EXPECT_EQ(doc.setNames(), (std::vector<std::string>{"A", "B2"}));
}

TEST_F(Library, UsageCountsElementsAndConfigurations) {
    EXPECT_EQ(groupUsage(doc, "G"), (Usage{2, 2}));
    EXPECT_EQ(groupUsage(doc, "H"), (Usage{1, 1}));
    EXPECT_EQ(messageUsage(doc, "G", "M"), (Usage{1, 1}));
    EXPECT_EQ(messageUsage(doc, "G", "nope"), (Usage{}));
    ASSERT_TRUE(duplicateMessage(doc, "G", "N", "N2").changed());
    EXPECT_EQ(messageUsage(doc, "G", "N2"), (Usage{}));
}

// Names of the children of the root and of the groups and messages of an
// export file, read back as a document.
std::string shape(const std::filesystem::path& file) {
    ConfigDocument d;
    if (!d.load(file).ok()) return "unreadable";
    std::string s;
    for (pugi::xml_node c : d.root().children()) {
        if (c.type() == pugi::node_comment) s += "<!-->";
        if (c.type() == pugi::node_element) s += std::string("<") + c.name() + ">";
    }
    for (const std::string& set : d.setNames()) s += " set:" + set;
    for (pugi::xml_node g : d.messagegroups().children("messagegroup")) {
        s += std::string(" ") + g.attribute("name").value() + "(";
        for (const std::string& m : ConfigDocument::messageNames(g)) s += m + ";";
        s += ")";
    }
    return s;
}

TEST_F(Library, ExportsHoldWhatIsUsedInFirstReferenceOrder) {
    // Set E uses (H,M) first, then (G,M) twice, then a vanished group and a
    // vanished message.
    const std::string withE = edited({{"  </sets>", R"(    <set name="E">
      <element name="Taste 2"><group>H</group><name>M</name></element>
      <element name="Fader 3"><group>G</group><name>M</name></element>
      <element name="Fader 4"><group>G</group><name>M</name></element>
      <element name="Fader 5"><group>gone</group><name>M</name></element>
      <element name="Fader 6"><group>G</group><name>gone</name></element>
    </set>
    <set name="Empty"/>
  </sets>)"}});
    writeFile(file(), withE);
    ASSERT_TRUE(doc.load(file()).ok());
    struct Row {
        const char* what;
        std::function<LibraryOutcome(const ConfigDocument&, const std::filesystem::path&)> op;
        std::string shape;
        std::vector<std::string> leftOut;
    };
    const Row rows[] = {
        {"configuration",
         [](auto& d, auto& p) { return exportConfiguration(d, "A", p); },
         "<!--><sets><messagegroups> set:A G(M;) H(M;)",
         {}},
        {"groups in first-reference order, messages once, dangling left out",
         [](auto& d, auto& p) { return exportConfiguration(d, "E", p); },
         "<!--><sets><messagegroups> set:E H(M;) G(M;)",
         {"Fader 5", "Fader 6"}},
        {"configuration without assignments",
         [](auto& d, auto& p) { return exportConfiguration(d, "Empty", p); },
         "<!--><sets><messagegroups> set:Empty",
         {}},
        {"group with all its messages, no sets",
         [](auto& d, auto& p) { return exportGroup(d, "G", p); },
         "<!--><messagegroups> G(M;N;)",
         {}},
    };
    for (const auto& r : rows) {
        const auto target = tmp / "out.xml";
        writeFile(target, "old export, replaced");
        const LibraryOutcome o = r.op(doc, target);
        EXPECT_EQ(o.result, Result::Exported) << r.what << ": " << o.problem("en");
        EXPECT_EQ(shape(target), r.shape) << r.what;
        EXPECT_EQ(o.leftOut, r.leftOut) << r.what;
    }
    // The exported set has no element that points nowhere.
    ASSERT_EQ(exportConfiguration(doc, "E", tmp / "e.xml").result, Result::Exported);
    ConfigDocument e;
    ASSERT_TRUE(e.load(tmp / "e.xml").ok());
    EXPECT_EQ(e.resolveElement("E", "Fader 5").state, ElementResolution::State::NoAssignment);
    EXPECT_EQ(e.resolveElement("E", "Fader 4").state, ElementResolution::State::Resolved);
    EXPECT_EQ(readFile(file()), withE);
}

TEST_F(Library, ExportNeverReplacesTheLibraryNorLeavesHalfAFile) {
    std::filesystem::create_symlink(file(), tmp / "link.xml");
    for (const auto& target : {file(), tmp / "." / "lib.xml", tmp / "link.xml"}) {
        const LibraryOutcome o = exportGroup(doc, "G", target);
        EXPECT_EQ(o.result, Result::Refused) << target;
        EXPECT_EQ(o.reason.key, "library.export.same_file");
    }
    EXPECT_EQ(readFile(file()), kLibrary);

    const auto target = tmp / "out.xml";
    writeFile(target, "earlier export");
    {
        const test::FileSizeLimit full(64);
        EXPECT_EQ(exportConfiguration(doc, "A", target).result, Result::Failed);
    }
    EXPECT_EQ(readFile(target), "earlier export");
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(tmp.path())) ++files;
    EXPECT_EQ(files, 3u) << "a temporary file was left behind";
}

TEST_F(Library, OpeningSomethingElseKeepsTheWorkingLibrary) {
    struct Row {
        const char* what;
        std::string content;  // empty: no such file
        Result result;
        std::string problem;
    };
    const auto other = tmp / "other.xml";
    const Row rows[] = {
        {"missing file", "", Result::Failed, ""},
        {"broken XML", "<lib>\n  <sets>\n</lib>\n", Result::Failed, "line 3, column"},
        {"another kind of document",
         "<?xml version=\"1.0\"?>\n<motorprofiles>\n  <profile/>\n</motorprofiles>\n", Result::Refused,
         "its root element <motorprofiles> (line 2, column 1)"},
    };
    for (const auto& r : rows) {
        std::filesystem::remove(other);
        if (!r.content.empty()) writeFile(other, r.content);
        const LibraryOutcome o = openLibrary(doc, other);
        EXPECT_EQ(o.result, r.result) << r.what;
        EXPECT_NE(o.problem("en").find(r.problem), std::string::npos) << r.what << ": " << o.problem("en");
        EXPECT_EQ(doc.fileName(), file()) << r.what;
        EXPECT_EQ(doc.setNames(), (std::vector<std::string>{"A", "B"})) << r.what;
    }
    writeFile(other, "<x><sets><set name=\"O\"/></sets></x>");
    const LibraryOutcome o = openLibrary(doc, other);
    EXPECT_EQ(o.result, Result::Switched);
    EXPECT_EQ(o.previousFile, file());
    EXPECT_EQ(doc.fileName(), other);
    // A library without groups gets its container with the first group.
    ASSERT_TRUE(newGroup(doc, "K").changed());
    EXPECT_EQ(readFile(other),
              "<x><sets><set name=\"O\"/></sets>\n  <messagegroups>\n    <messagegroup name=\"K\"/>\n  "
              "</messagegroups>\n</x>");
}

}  // namespace
}  // namespace korvane
