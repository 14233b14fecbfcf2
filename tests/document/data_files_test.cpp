#include "data_files.h"

#include <gtest/gtest.h>

#include "temp_folder.h"

namespace korvane {
namespace {

using testing::readFile;
using testing::TempFolder;
using testing::writeFile;

class Provisioning : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directory(program());
        writeFile(program() / "korvane.def", "<lib>default</lib>");
        writeFile(program() / "motorprofile.def", "<mp>default</mp>");
    }
    std::filesystem::path program() const { return tmp / "program"; }
    // Deliberately several levels that do not exist yet.
    std::filesystem::path data() const { return tmp / "common" / "appdata" / "Pellux3"; }

    TempFolder tmp;
};

TEST_F(Provisioning, FirstRunCreatesFolderAndBothDocuments) {
    const ProvisionReport r = provisionDataFolder(data(), program());
    EXPECT_TRUE(r.folderReady);
    EXPECT_EQ(r.configuration.outcome, ProvisionOutcome::Copied);
    EXPECT_EQ(r.motorProfiles.outcome, ProvisionOutcome::Copied);
    EXPECT_EQ(r.configuration.target, data() / "korvane.xml");
    EXPECT_EQ(readFile(data() / "korvane.xml"), "<lib>default</lib>");
    EXPECT_EQ(readFile(data() / "motorprofile.mp"), "<mp>default</mp>");
    EXPECT_TRUE(provisionMessage(r.configuration, "de").empty());
    // Only the two documents: no temporary files are left in the folder.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(data()), {}), 2);
}

TEST_F(Provisioning, LaterRunsNeverOverwriteWorkingDocuments) {
    provisionDataFolder(data(), program());
    writeFile(data() / "korvane.xml", "<lib>edited by the user</lib>");
    writeFile(program() / "korvane.def", "<lib>newer default</lib>");
    writeFile(program() / "motorprofile.def", "<mp>newer default</mp>");

    const ProvisionReport r = provisionDataFolder(data(), program());
    EXPECT_EQ(r.configuration.outcome, ProvisionOutcome::AlreadyPresent);
    EXPECT_EQ(r.motorProfiles.outcome, ProvisionOutcome::AlreadyPresent);
    EXPECT_EQ(readFile(data() / "korvane.xml"), "<lib>edited by the user</lib>");
    EXPECT_EQ(readFile(data() / "motorprofile.mp"), "<mp>default</mp>");

    // Only a missing document is made again; the other stays as it is.
    std::filesystem::remove(data() / "motorprofile.mp");
    const ProvisionReport again = provisionDataFolder(data(), program());
    EXPECT_EQ(again.configuration.outcome, ProvisionOutcome::AlreadyPresent);
    EXPECT_EQ(again.motorProfiles.outcome, ProvisionOutcome::Copied);
    EXPECT_EQ(readFile(data() / "motorprofile.mp"), "<mp>newer default</mp>");
    EXPECT_EQ(readFile(data() / "korvane.xml"), "<lib>edited by the user</lib>");
}

TEST_F(Provisioning, MissingDefaultIsReportedNotInvented) {
    std::filesystem::remove(program() / "korvane.def");
    const ProvisionReport r = provisionDataFolder(data(), program());
    EXPECT_EQ(r.configuration.outcome, ProvisionOutcome::DefaultMissing);
    EXPECT_EQ(r.motorProfiles.outcome, ProvisionOutcome::Copied);
    EXPECT_FALSE(std::filesystem::exists(data() / "korvane.xml"));
    const std::string msg = provisionMessage(r.configuration, "en");
    EXPECT_NE(msg.find((program() / "korvane.def").string()), std::string::npos) << msg;
    EXPECT_NE(msg.find((data() / "korvane.xml").string()), std::string::npos) << msg;
}

TEST_F(Provisioning, DataFolderBlockedByAFile) {
    std::filesystem::create_directories(data().parent_path());
    writeFile(data(), "not a folder");
    const ProvisionReport r = provisionDataFolder(data(), program());
    EXPECT_FALSE(r.folderReady);
    EXPECT_FALSE(provisionFolderMessage(r, data(), "de").empty());
    EXPECT_EQ(r.configuration.outcome, ProvisionOutcome::CopyFailed);
    EXPECT_FALSE(r.configuration.error.empty());
    EXPECT_EQ(readFile(data()), "not a folder");
}

TEST_F(Provisioning, ExistingEvenIfBrokenLinkCountsAsPresent) {
    std::filesystem::create_directories(data());
    std::filesystem::create_symlink(tmp / "nowhere.xml", data() / "korvane.xml");
    const ProvisionReport r = provisionDataFolder(data(), program());
    EXPECT_EQ(r.configuration.outcome, ProvisionOutcome::AlreadyPresent);
    EXPECT_TRUE(std::filesystem::is_symlink(data() / "korvane.xml"));
    EXPECT_FALSE(std::filesystem::exists(tmp / "nowhere.xml"));
}

}  // namespace
}  // namespace korvane
