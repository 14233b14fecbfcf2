#include "data_files.h"

#include <system_error>

#include "file_io.h"
#include "texts.h"

namespace korvane {
namespace {

ProvisionedFile provisionOne(const std::filesystem::path& programFolder, std::string_view defaultName,
                             const std::filesystem::path& dataFolder, std::string_view workingName) {
    ProvisionedFile f;
    f.source = programFolder / std::string(defaultName);
    f.target = dataFolder / std::string(workingName);
    std::error_code ec;
    // symlink_status: a dangling link still occupies the name and is left
    // alone like any other existing working document.
    if (std::filesystem::exists(std::filesystem::symlink_status(f.target, ec))) {
        f.outcome = ProvisionOutcome::AlreadyPresent;
        return f;
    }
    if (!std::filesystem::exists(f.source, ec)) {
        f.outcome = ProvisionOutcome::DefaultMissing;
        return f;
    }
    std::string error;
    auto bytes = detail::readWholeFile(f.source, error);
    if (!bytes) {
        f.outcome = ProvisionOutcome::CopyFailed;
        f.error = std::move(error);
        return f;
    }
    bool existed = false;
    error = detail::createFileExclusively(f.target, *bytes, existed);
    if (!error.empty()) {
        f.outcome = ProvisionOutcome::CopyFailed;
        f.error = std::move(error);
    } else {
        f.outcome = existed ? ProvisionOutcome::AlreadyPresent : ProvisionOutcome::Copied;
    }
    return f;
}

}  // namespace

ProvisionReport provisionDataFolder(const std::filesystem::path& dataFolder,
                                    const std::filesystem::path& programFolder) {
    ProvisionReport report;
    std::error_code ec;
    std::filesystem::create_directories(dataFolder, ec);
    report.folderReady = std::filesystem::is_directory(dataFolder);
    if (!report.folderReady) {
        report.folderError = ec ? ec.message() : std::make_error_code(std::errc::not_a_directory).message();
    }
    // Even without the folder both files are tried, so that each reports its
    // own state to the caller.
    report.configuration = provisionOne(programFolder, kDefaultConfigFile, dataFolder, kWorkingConfigFile);
    report.motorProfiles =
        provisionOne(programFolder, kDefaultMotorProfileFile, dataFolder, kWorkingMotorProfileFile);
    return report;
}

std::string provisionMessage(const ProvisionedFile& file, std::string_view language) {
    switch (file.outcome) {
        case ProvisionOutcome::DefaultMissing:
            return textWithAll("document.default_missing", language,
                               {file.source.string(), file.target.string()});
        case ProvisionOutcome::CopyFailed:
            return textWithAll("document.copy_failed", language,
                               {file.source.string(), file.target.string(), file.error});
        case ProvisionOutcome::Copied:
        case ProvisionOutcome::AlreadyPresent:
            break;
    }
    return {};
}

std::string provisionFolderMessage(const ProvisionReport& report, const std::filesystem::path& dataFolder,
                                   std::string_view language) {
    if (report.folderReady) return {};
    return textWithAll("document.folder_failed", language, {dataFolder.string(), report.folderError});
}

}  // namespace korvane
