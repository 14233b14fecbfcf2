#include "log_test_support.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace korvane::testing {

void TempFolderTest::SetUp() {
    std::string pattern = (std::filesystem::temp_directory_path() / "korvane-log-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    if (const char* old = std::getenv("XDG_DATA_HOME")) {
        hadXdg_ = true;
        oldXdg_ = old;
    }
    ::setenv("XDG_DATA_HOME", dir_.c_str(), 1);
}

void TempFolderTest::TearDown() {
    if (hadXdg_) {
        ::setenv("XDG_DATA_HOME", oldXdg_.c_str(), 1);
    } else {
        ::unsetenv("XDG_DATA_HOME");
    }
    std::error_code ec;
    std::filesystem::permissions(dir_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                 ec);
    std::filesystem::remove_all(dir_, ec);
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::filesystem::path& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary);
    out << content;
}

std::vector<std::string> readLines(const std::filesystem::path& path) {
    std::string all = readFile(path);
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < all.size()) {
        std::size_t end = all.find('\n', start);
        if (end == std::string::npos) {
            ADD_FAILURE() << "unterminated last line in " << path;
            lines.push_back(all.substr(start));
            break;
        }
        EXPECT_TRUE(end > start && all[end - 1] == '\r') << "line without CR in " << path;
        lines.push_back(all.substr(start, end - start - (end > start && all[end - 1] == '\r' ? 1 : 0)));
        start = end + 1;
    }
    return lines;
}

std::string numbered(const char* prefix, long long n) {
    std::string s = prefix;
    s += std::to_string(n);
    return s;
}

std::string paddedId(TThreadID id) {
    std::string n = std::to_string(id);
    return n.size() < 5 ? std::string(5 - n.size(), ' ') + n : n;
}

}  // namespace korvane::testing
