// The documents shipped beside the program must work with the editor as
// they are: the default library assigns every element, and every template
// is hex byte text the device understands.

#include <gtest/gtest.h>

#include <cctype>
#include <regex>

#include "config_document.h"
#include "description_codec.h"
#include "element_catalogue.h"
#include "message_record.h"
#include "temp_folder.h"

namespace korvane {
namespace {

using testing::readFile;
using testing::TempFolder;
using testing::writeFile;

const std::filesystem::path kData = KORVANE_DATA_DIR;

bool isHexByteText(const std::string& text) {
    static const std::regex kHex("[0-9A-F]{2}(,[0-9A-F]{2})*");
    return std::regex_match(text, kHex);
}

TEST(DefaultDocuments, StandardConfigurationAssignsAllElements) {
    ConfigDocument doc;
    const DocumentStatus st = doc.load(kData / "korvane.def");
    ASSERT_TRUE(st.ok()) << st.message("en");
    ASSERT_TRUE(doc.Finde_XML_SetByName("Standard Tarvok NRPN"));
    ASSERT_TRUE(doc.Finde_XML_MessageGroupByName("Standard Tarvok NRPN"));
    EXPECT_FALSE(
        decodeDescription(doc.Finde_XML_SetByName("Standard Tarvok NRPN").attribute("description").value())
            .empty());

    for (int n = 0; n < kElementCount; ++n) {
        const ElementResolution r = doc.resolveElement("Standard Tarvok NRPN", n);
        ASSERT_EQ(r.state, ElementResolution::State::Resolved) << Wie_lautet_EingabeElementName(n);
        EXPECT_EQ(r.groupName, "Standard Tarvok NRPN");
        TMessageRecord rec;
        ASSERT_FALSE(readMessageRecord(r.message, rec)) << r.messageName;
        const ElementKind kind = elementKind(n);
        // The mode each kind of element can use.
        const TMode expected = kind == ElementKind::Button     ? MODE_Taster
                               : kind == ElementKind::JogWheel ? MODE_Jogwheel
                                                               : MODE_14Bit;
        EXPECT_EQ(rec.Mode, expected) << r.messageName;
        EXPECT_TRUE(isHexByteText(rec.MessageLeft)) << r.messageName << ": " << rec.MessageLeft;
        if (kind == ElementKind::Button) {
            EXPECT_TRUE(isHexByteText(rec.MessageRight)) << r.messageName;
        } else {
            EXPECT_EQ(rec.MessageRight, "") << r.messageName;
        }
    }
}

TEST(DefaultDocuments, EveryMessageAndEveryAssignmentIsValid) {
    ConfigDocument doc;
    ASSERT_TRUE(doc.load(kData / "korvane.def").ok());
    EXPECT_EQ(doc.root().name(), std::string("korvane"));
    EXPECT_GE(doc.setNames().size(), 2u);
    EXPECT_GE(doc.groupNames().size(), 2u);
    for (pugi::xml_node group : doc.messagegroups().children("messagegroup")) {
        for (pugi::xml_node message : group.children("message")) {
            const std::string name = message.attribute("name").value();
            for (const char* child : {"mode", "range"}) {
                EXPECT_FALSE(ConfigDocument::XML_GetChildNodeValue(message, child, "").empty()) << name;
            }
            EXPECT_TRUE(modeFromText(ConfigDocument::XML_GetChildNodeValue(message, "mode", ""))) << name;
            EXPECT_TRUE(rangeFromText(ConfigDocument::XML_GetChildNodeValue(message, "range", ""))) << name;
            TMessageRecord rec;
            ASSERT_FALSE(readMessageRecord(message, rec)) << name;
            EXPECT_TRUE(isHexByteText(rec.MessageLeft)) << name;
            EXPECT_TRUE(rec.MessageRight.empty() || isHexByteText(rec.MessageRight)) << name;
            if (rec.Range != RANGE_FULL) {
                EXPECT_LE(0, rec.Minimum) << name;
                EXPECT_LT(rec.Minimum, rec.Maximum) << name;
                EXPECT_LE(rec.Maximum, 16383) << name;
                EXPECT_GT(rec.Step, 0) << name;
                EXPECT_LE(rec.Minimum, rec.Start) << name;
                EXPECT_LE(rec.Start, rec.Maximum) << name;
            }
        }
    }
    for (const std::string& set : doc.setNames()) {
        for (int n = 0; n < kElementCount; ++n) {
            const auto state = doc.resolveElement(set, n).state;
            EXPECT_TRUE(state == ElementResolution::State::Resolved ||
                        state == ElementResolution::State::NoAssignment)
                << set << " / " << Wie_lautet_EingabeElementName(n);
        }
    }
}

TEST(DefaultDocuments, WorkingCopySavesUnchangedUntilEdited) {
    TempFolder tmp;
    const std::string shipped = readFile(kData / "korvane.def");
    writeFile(tmp / "korvane.xml", shipped);
    ConfigDocument doc;
    ASSERT_TRUE(doc.load(tmp / "korvane.xml").ok());
    ASSERT_TRUE(doc.save().ok());
    EXPECT_EQ(readFile(tmp / "korvane.xml"), shipped);
}

TEST(DefaultDocuments, MotorProfilesHoldNineMonotonicCurves) {
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file((kData / "motorprofile.def").c_str()));
    const pugi::xml_node container = doc.document_element().child("motorprofile");
    ASSERT_TRUE(container);
    std::vector<std::string> names;
    for (pugi::xml_node profile : container.children()) {
        names.emplace_back(profile.attribute("name").value());
        for (int f = 1; f <= 9; ++f) {
            const std::string text = profile.child(("fader" + std::to_string(f)).c_str()).text().get();
            std::vector<int> values;
            std::size_t pos = 0;
            while (pos < text.size()) {
                std::size_t next = text.find(", ", pos);
                values.push_back(std::stoi(text.substr(pos, next - pos)));
                pos = next == std::string::npos ? text.size() : next + 2;
            }
            ASSERT_EQ(values.size(), 20u) << names.back() << " fader" << f;
            // Differences of points 9..0 fall, speeds of points 9..0 do not rise.
            for (int i = 0; i < 9; ++i) {
                EXPECT_GT(values[i], values[i + 1]) << names.back() << " fader" << f;
                EXPECT_GE(values[10 + i], values[11 + i]) << names.back() << " fader" << f;
            }
            EXPECT_LE(values[0], 256);
            EXPECT_EQ(values[9], 0);
            EXPECT_LE(values[10], 8);
            EXPECT_GE(values[19], 0);
        }
        EXPECT_TRUE(profile.child("tFactor"));
        EXPECT_TRUE(profile.child("tConst"));
    }
    ASSERT_GE(names.size(), 2u);
    EXPECT_EQ(names.front(), "default");
}

}  // namespace
}  // namespace korvane
