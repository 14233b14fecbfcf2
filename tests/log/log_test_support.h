#pragma once
// Shared pieces of the log tests: a private temporary folder that also
// serves as XDG_DATA_HOME, and reading a log file back as lines.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "log_types.h"

namespace korvane::testing {

class TempFolderTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::filesystem::path dir_;
    std::string oldXdg_;
    bool hadXdg_ = false;
};

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& content);
// The file's lines without their CR LF; fails the test if a line lacks the CR.
std::vector<std::string> readLines(const std::filesystem::path& path);
// prefix followed by the number; kept out of line, since GCC 12 at -O3
// warns falsely about `"literal" + std::to_string(n)`.
std::string numbered(const char* prefix, long long n);
// "[ 1234]"-style right-aligned id as the labels write it.
std::string paddedId(TThreadID id);

}  // namespace korvane::testing
