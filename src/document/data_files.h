#pragma once
// Provisioning of the data folder: the working documents are created from the
// defaults shipped beside the program, once, and never overwritten.

#include <filesystem>
#include <string>
#include <string_view>

namespace korvane {

inline constexpr std::string_view kDataFolderName = "Pellux3";
inline constexpr std::string_view kDefaultConfigFile = "korvane.def";
inline constexpr std::string_view kWorkingConfigFile = "korvane.xml";
inline constexpr std::string_view kDefaultMotorProfileFile = "motorprofile.def";
inline constexpr std::string_view kWorkingMotorProfileFile = "motorprofile.mp";

enum class ProvisionOutcome {
    Copied,          // the working document was created from the default
    AlreadyPresent,  // the working document existed and was left alone
    DefaultMissing,  // neither the working document nor the default exists
    CopyFailed,      // the default exists but could not be copied (see error)
};

struct ProvisionedFile {
    std::filesystem::path source;  // default document beside the program
    std::filesystem::path target;  // working document in the data folder
    ProvisionOutcome outcome = ProvisionOutcome::AlreadyPresent;
    std::string error;  // system error text for CopyFailed / folder errors
};

struct ProvisionReport {
    bool folderReady = false;       // the data folder exists (created if needed)
    std::string folderError;        // why it could not be created
    ProvisionedFile configuration;  // korvane.def -> korvane.xml
    ProvisionedFile motorProfiles;  // motorprofile.def -> motorprofile.mp
};

// Creates dataFolder with its parents and copies the two defaults from
// programFolder where the working document is missing. A copy is written to a
// temporary file first and then linked into place without replacing anything,
// so an interrupted copy never leaves a half document that a later run would
// keep.
ProvisionReport provisionDataFolder(const std::filesystem::path& dataFolder,
                                    const std::filesystem::path& programFolder);

// The user text for a file that could not be provisioned (empty for Copied and
// AlreadyPresent).
std::string provisionMessage(const ProvisionedFile& file, std::string_view language);

// The user text for a data folder that could not be created ("" when it exists).
std::string provisionFolderMessage(const ProvisionReport& report, const std::filesystem::path& dataFolder,
                                   std::string_view language);

}  // namespace korvane
