// The profile document's commands against files on disk.

#include "motor_profile_document.h"

#include <gtest/gtest.h>

#include "file_size_limit.h"
#include "temp_folder.h"

namespace korvane {
namespace {

using testing::readFile;
using testing::TempFolder;
using testing::writeFile;

const char* const kFile =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<korvane>\n"
    "  <motorprofile>\n"
    "    <profil name=\"default\">\n"
    "      <fader1>255, 128, 96, 64, 48, 32, 16, 8, 4, 0, 8, 8, 7, 6, 5, 4, 3, 2, 1, 0</fader1>\n"
    "      <tFactor>50</tFactor>\n"
    "      <tConst>60</tConst>\n"
    "    </profil>\n"
    "    <profil name=\"bare\">\n"
    "      <fader2>1, 2</fader2>\n"
    "    </profil>\n"
    "  </motorprofile>\n"
    "</korvane>\n";

class ProfileDocument : public ::testing::Test {
protected:
    void SetUp() override {
        writeFile(file(), kFile);
        ASSERT_TRUE(doc.open(file()).ok());
    }
    std::filesystem::path file() const { return folder / "motorprofile.mp"; }

    TempFolder folder;
    MotorProfileDocument doc;
};

TEST_F(ProfileDocument, ListsAndLoadsProfiles) {
    EXPECT_EQ(doc.profileNames(), (std::vector<std::string>{"default", "bare"}));
    TMotorProfilTabelle table;
    PositioningTime time = MotorProfileDocument::XMLProfilLaden(doc.Finde_XML_ProfilByName("default"), table);
    EXPECT_EQ(time.TotzeitFaktor, 50);
    EXPECT_EQ(time.TotzeitKonstante, 60);
    EXPECT_EQ(table.MotorProfile[0].Differenz[9], 255);
    EXPECT_EQ(table.MotorProfile[0].Geschwindigkeit[8], 256);

    time = MotorProfileDocument::XMLProfilLaden(doc.Finde_XML_ProfilByName("bare"), table);
    EXPECT_EQ(time.TotzeitFaktor, 100);  // no tFactor, no tConst
    EXPECT_EQ(time.TotzeitKonstante, 100);
    EXPECT_EQ(table.MotorProfile[1].Differenz[9], 1);
    EXPECT_EQ(table.MotorProfile[1].Geschwindigkeit[0], 64);
    EXPECT_EQ(table.MotorProfile[0].Differenz[9], 255);      // fader1 missing: kept
    EXPECT_EQ(table.MotorProfile[0].Geschwindigkeit[0], 0);  // but an empty text ends in point 0's speed
    EXPECT_FALSE(doc.Finde_XML_ProfilByName("Default"));
}

TEST_F(ProfileDocument, SaveWritesEveryFaderIntoTheNamedProfile) {
    TMotorProfilTabelle table;
    table.MotorProfile[8].Differenz[9] = 200;
    ASSERT_TRUE(doc.saveProfile("bare", table, "7", "x").ok());
    const std::string saved = readFile(file());
    EXPECT_NE(saved.find("<fader2>0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0</fader2>"),
              std::string::npos);
    EXPECT_NE(saved.find("      <fader9>200, 0,"), std::string::npos) << saved;  // added on a line of its own
    EXPECT_NE(saved.find("<tFactor>7</tFactor>"), std::string::npos);
    EXPECT_NE(saved.find("<tConst>x</tConst>"), std::string::npos);  // the edit text as the user left it
    EXPECT_EQ(saved.substr(0, saved.find("<profil name=\"bare\">")),
              std::string(kFile).substr(0, std::string(kFile).find("<profil name=\"bare\">")));
}

TEST_F(ProfileDocument, SaveAsAppendsAndReplacesInOneWrite) {
    TMotorProfilTabelle table;
    FaderStringInArray("9, 9", table.MotorProfile[0]);
    ASSERT_TRUE(doc.saveProfileAs("neu", table, "1", "2", false).ok());
    EXPECT_EQ(doc.profileNames(), (std::vector<std::string>{"default", "bare", "neu"}));
    const std::string saved = readFile(file());
    const auto at = saved.find("<profil name=\"neu\">");
    ASSERT_NE(at, std::string::npos);
    EXPECT_LT(saved.find("<fader1>", at), saved.find("<fader9>", at));
    EXPECT_LT(saved.find("<fader9>", at), saved.find("<tFactor>1</tFactor>", at));
    EXPECT_LT(saved.find("<tFactor>", at), saved.find("<tConst>2</tConst>", at));

    ASSERT_TRUE(doc.saveProfileAs("default", table, "3", "4", true).ok());
    EXPECT_EQ(doc.profileNames(), (std::vector<std::string>{"bare", "neu", "default"}));
    TMotorProfilTabelle loaded;
    EXPECT_EQ(
        MotorProfileDocument::XMLProfilLaden(doc.Finde_XML_ProfilByName("default"), loaded).TotzeitFaktor, 3);
    EXPECT_EQ(loaded.MotorProfile[0].Differenz[9], 9);
}

TEST_F(ProfileDocument, CopyTakesTheStoredProfileAndDeleteRemovesIt) {
    ASSERT_TRUE(doc.copyProfile("default", "kopie", false).ok());
    EXPECT_EQ(doc.profileNames(), (std::vector<std::string>{"default", "bare", "kopie"}));
    TMotorProfilTabelle table;
    EXPECT_EQ(
        MotorProfileDocument::XMLProfilLaden(doc.Finde_XML_ProfilByName("kopie"), table).TotzeitKonstante,
        60);

    ASSERT_TRUE(doc.copyProfile("bare", "kopie", true).ok());
    EXPECT_EQ(doc.profileNames(), (std::vector<std::string>{"default", "bare", "kopie"}));
    EXPECT_EQ(
        MotorProfileDocument::XMLProfilLaden(doc.Finde_XML_ProfilByName("kopie"), table).TotzeitKonstante,
        100);

    ASSERT_TRUE(doc.XML_LoescheMotorProfil("bare").ok());
    EXPECT_EQ(doc.profileNames(), (std::vector<std::string>{"default", "kopie"}));
    EXPECT_EQ(readFile(file()).find("bare"), std::string::npos);
}

TEST_F(ProfileDocument, FailedWritesLeaveTheFileByteIdentical) {
    TMotorProfilTabelle table;
    table.MotorProfile[0].Differenz[9] = 17;
    struct Case {
        const char* name;
        std::function<DocumentStatus()> run;
    };
    const Case cases[] = {
        {"save", [&] { return doc.saveProfile("default", table, "1", "1"); }},
        {"save as", [&] { return doc.saveProfileAs("neu", table, "1", "1", false); }},
        {"save as over an existing one", [&] { return doc.saveProfileAs("bare", table, "1", "1", true); }},
        {"copy", [&] { return doc.copyProfile("default", "kopie", false); }},
        {"copy over an existing one", [&] { return doc.copyProfile("default", "bare", true); }},
        {"delete", [&] { return doc.XML_LoescheMotorProfil("bare"); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DocumentStatus st;
        {
            test::FileSizeLimit full(64);  // the disk fills up during the write
            st = c.run();
        }
        EXPECT_EQ(st.code, DocumentStatus::Code::WriteFailed);
        EXPECT_NE(st.message("de").find("bleibt unverändert"), std::string::npos) << st.message("de");
        EXPECT_EQ(readFile(file()), kFile);
        // What the editor shows next is the file, not the change that failed.
        EXPECT_EQ(doc.profileNames(), (std::vector<std::string>{"default", "bare"}));
        TMotorProfilTabelle shown;
        MotorProfileDocument::XMLProfilLaden(doc.Finde_XML_ProfilByName("default"), shown);
        EXPECT_EQ(shown.MotorProfile[0].Differenz[9], 255);
    }
}

TEST_F(ProfileDocument, SaveOfAnUnknownNameWritesNothing) {
    TMotorProfilTabelle table;
    EXPECT_TRUE(doc.saveProfile("", table, "1", "1").ok());
    EXPECT_TRUE(doc.saveProfile("nobody", table, "1", "1").ok());
    EXPECT_EQ(readFile(file()), kFile);
}

TEST(ProfileDocumentShape, MissingContainerIsAddedWithTheFirstWrite) {
    TempFolder folder;
    writeFile(folder / "p.mp", "<root/>\n");
    MotorProfileDocument doc;
    ASSERT_TRUE(doc.open(folder / "p.mp").ok());
    EXPECT_TRUE(doc.profileNames().empty());
    EXPECT_EQ(readFile(folder / "p.mp"), "<root/>\n");
    ASSERT_TRUE(doc.saveProfileAs("eins", TMotorProfilTabelle{}, "100", "100", false).ok());
    EXPECT_EQ(doc.profileNames(), std::vector<std::string>{"eins"});
}

}  // namespace
}  // namespace korvane
