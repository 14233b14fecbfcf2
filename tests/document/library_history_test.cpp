#include "library_history.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "temp_folder.h"

namespace korvane {
namespace {

using testing::readFile;
using testing::TempFolder;
using testing::writeFile;

const char* const kStart = R"(<?xml version="1.0" encoding="UTF-8"?>
<lib>
  <sets>
    <set name="A">
      <element name="Fader 1"><group>G</group><name>M</name></element>
    </set>
  </sets>
  <messagegroups>
    <messagegroup name="G">
      <message name="M"/>
    </messagegroup>
  </messagegroups>
</lib>
)";

class History : public ::testing::Test {
protected:
    void SetUp() override {
        writeFile(file(), kStart);
        ASSERT_TRUE(doc.load(file()).ok());
    }
    std::filesystem::path file() const { return tmp / "lib.xml"; }
    void apply(const LibraryOutcome& o, const std::string& mergeKey = {}) {
        history.record(doc.fileName(), o, mergeKey);
    }
    // A description edit as the window makes it: the attribute set on the
    // document, then saved as a change.
    LibraryOutcome describe(const std::string& text) {
        pugi::xml_node set = doc.Finde_XML_SetByName("A");
        pugi::xml_attribute a = set.attribute("description");
        if (!a) a = set.append_attribute("description");
        a.set_value(text.c_str());
        return saveChange(doc, {"library.label.description", {"A"}});
    }

    TempFolder tmp;
    ConfigDocument doc;
    LibraryHistory history;
};

// Any mix of operations, refused ones included, taken back one by one must
// give the file it started with byte for byte, and done again the file it
// ended with. Switching to a second library and back is part of the mix.
TEST_F(History, UndoAllAndRedoAllOfARandomSequence) {
    const auto second = tmp / "second.xml";
    writeFile(second, "<other>\n  <sets/>\n  <messagegroups/>\n</other>\n");
    for (unsigned seed : {1u}) {
        writeFile(file(), kStart);
        ASSERT_TRUE(doc.load(file()).ok());
        writeFile(second, "<other>\n  <sets/>\n  <messagegroups/>\n</other>\n");
        history.clear();
        std::mt19937 rng(seed);
        auto pick = [&](const std::vector<std::string>& names) {
            return names.empty() ? std::string("none") : names[rng() % names.size()];
        };
        // A small pool of names makes clashes, and so refusals, frequent.
        auto name = [&] { return std::string(1, static_cast<char>('A' + rng() % 6)); };
        auto group = [&] { return pick(doc.groupNames()); };
        auto message = [&](const std::string& g) {
            return pick(ConfigDocument::messageNames(doc.Finde_XML_MessageGroupByName(g)));
        };
        const std::vector<std::function<LibraryOutcome()>> operations = {
            [&] { return newConfiguration(doc, name()); },
            [&] { return duplicateConfiguration(doc, pick(doc.setNames()), name()); },
            [&] { return renameConfiguration(doc, pick(doc.setNames()), name()); },
            [&] { return deleteConfiguration(doc, pick(doc.setNames())); },
            [&] { return newGroup(doc, name()); },
            [&] { return duplicateGroup(doc, group(), name()); },
            [&] { return renameGroup(doc, group(), name()); },
            [&] { return deleteGroup(doc, group()); },
            [&] { return newMessage(doc, group(), name()); },
            [&] {
                const std::string g = group();
                return duplicateMessage(doc, g, message(g), name());
            },
            [&] {
                const std::string g = group();
                return renameMessage(doc, g, message(g), name());
            },
            [&] {
                const std::string g = group();
                return deleteMessage(doc, g, message(g));
            },
            [&] {
                const std::string g = group();
                return moveMessage(doc, g, message(g), group());
            },
            [&] {
                const std::string g = group();
                return copyMessage(doc, g, message(g), group());
            },
            [&] { return describe(name()); },
            [&] { return openLibrary(doc, doc.fileName() == file() ? second : file()); },
        };
        std::size_t recorded = 0;
        for (int i = 0; i < 200; ++i) {
            const LibraryOutcome o = operations[rng() % operations.size()]();
            ASSERT_NE(o.result, LibraryOutcome::Result::Failed) << o.problem("en");
            if (o.result == LibraryOutcome::Result::Changed || o.result == LibraryOutcome::Result::Switched)
                ++recorded;
            apply(o);
        }
        ASSERT_GT(recorded, 60u) << "seed " << seed;
        ASSERT_EQ(history.undoCount(), recorded);
        const std::string endMain = readFile(file());
        const std::string endSecond = readFile(second);
        const std::filesystem::path endFile = doc.fileName();

        while (history.canUndo()) ASSERT_TRUE(history.undo(doc).done);
        EXPECT_EQ(readFile(file()), kStart) << "seed " << seed;
        EXPECT_EQ(doc.fileName(), file());
        EXPECT_EQ(readFile(second), "<other>\n  <sets/>\n  <messagegroups/>\n</other>\n");

        while (history.canRedo()) ASSERT_TRUE(history.redo(doc).done);
        EXPECT_EQ(readFile(file()), endMain) << "seed " << seed;
        EXPECT_EQ(readFile(second), endSecond) << "seed " << seed;
        EXPECT_EQ(doc.fileName(), endFile);
    }
}

TEST_F(History, UndoNamesTheChangeAndReadsTheDocumentBack) {
    apply(renameGroup(doc, "G", "Drums"));
    ASSERT_NE(history.nextUndo(), nullptr);
    EXPECT_EQ(history.nextUndo()->text("en"), "rename of group 'G' to 'Drums'");
    EXPECT_EQ(history.nextUndo()->text("de"), "Umbenennen der Gruppe 'G' in 'Drums'");
    const LibraryHistory::Step step = history.undo(doc);
    EXPECT_TRUE(step.done);
    EXPECT_EQ(step.label.key, "library.label.group_rename");
    EXPECT_EQ(doc.groupNames(), (std::vector<std::string>{"G"}));
    EXPECT_EQ(doc.resolveElement("A", "Fader 1").state, ElementResolution::State::Resolved);
    EXPECT_EQ(history.nextRedo()->text("en"), "rename of group 'G' to 'Drums'");
    // A new change forgets what could have been redone.
    apply(newGroup(doc, "K"));
    EXPECT_FALSE(history.canRedo());
}

TEST_F(History, UndoAndRedoAreRefusedAfterAnotherProgramWroteTheFile) {
    apply(newGroup(doc, "K"));
    const std::string theirs = std::string(kStart) + "<!-- theirs -->\n";
    writeFile(file(), theirs);
    const LibraryHistory::Step undone = history.undo(doc);
    EXPECT_FALSE(undone.done);
    EXPECT_EQ(undone.status.code, DocumentStatus::Code::ChangedOnDisk);
    EXPECT_EQ(readFile(file()), theirs);
    EXPECT_TRUE(history.canUndo());

    // The same for a redo.
    writeFile(file(), readFile(tmp / "lib.xml"));
    apply(newGroup(doc, "L"));
    ASSERT_TRUE(history.undo(doc).done);
    const std::string now = readFile(file()) + " ";
    writeFile(file(), now);
    EXPECT_EQ(history.redo(doc).status.code, DocumentStatus::Code::ChangedOnDisk);
    EXPECT_EQ(readFile(file()), now);
}

TEST_F(History, KeysTypedIntoOneDescriptionAreOneStep) {
    apply(newGroup(doc, "K"));
    const std::string afterGroup = readFile(file());
    for (const char* typed : {"a", "ab", "abc"}) apply(describe(typed), "description A");
    EXPECT_EQ(history.undoCount(), 2u);
    EXPECT_EQ(history.nextUndo()->key, "library.label.description");
    ASSERT_TRUE(history.undo(doc).done);
    EXPECT_EQ(readFile(file()), afterGroup);

    // Typing back to where the step began leaves no step at all.
    apply(describe("x"), "description A, earlier");
    for (const char* typed : {"xy", "x"}) apply(describe(typed), "description A");
    EXPECT_EQ(history.undoCount(), 2u);
    EXPECT_EQ(history.nextUndo()->key, "library.label.description");
    ASSERT_TRUE(history.undo(doc).done);
    EXPECT_EQ(readFile(file()), afterGroup);
}

TEST_F(History, TheOldestStepsGoFirstWhenTheBudgetIsFull) {
    LibraryHistory small(2 * std::string(kStart).size() + 200);
    for (const char* g : {"K1", "K2", "K3", "K4", "K5"}) small.record(file(), newGroup(doc, g));
    EXPECT_LT(small.undoCount(), 5u);
    EXPECT_GE(small.undoCount(), 1u);
    while (small.canUndo()) ASSERT_TRUE(small.undo(doc).done);
    // The newest steps were kept: the first groups stay.
    EXPECT_EQ(doc.groupNames().back(), "K" + std::to_string(5 - small.redoCount()));
}

}  // namespace
}  // namespace korvane
